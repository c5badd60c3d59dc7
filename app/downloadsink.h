#pragma once

#include <QObject>
#include <QPointer>
#include <QSaveFile>

class QNetworkReply;

/**
 * Streams the body of a download into a file while it arrives, so memory stays
 * flat whatever the file's size. The file takes its final name only in
 * commit(); until then an earlier file of that name stays untouched, and a
 * sink destroyed without a commit leaves nothing behind.
 *
 * When the file cannot be opened or a write fails (a full disk), the sink
 * aborts the reply; the reply's owner must then ask failed() before it looks at
 * the reply's error.
 */
class DownloadSink final : public QObject
{
    Q_OBJECT

public:
    DownloadSink(QNetworkReply *reply, const QString &path, QObject *parent = nullptr);

    enum class Result {
        Saved,       ///< the whole body is in place under the final name
        WriteFailed, ///< the file could not be opened, written or put in place
        Truncated,   ///< the connection ended before the promised length arrived
    };

    /// True once the file could not be opened or written.
    bool failed() const { return m_failed; }

    /// Writes what is still buffered and puts the file in place. Call only after
    /// the reply ended without error.
    Result commit();

    /// The most the network layer buffers ahead of the file.
    static constexpr qint64 readAheadLimit = 2 * 1024 * 1024;

    /// Bytes received so far.
    qint64 received() const { return m_received; }

private:
    void drain();
    void fail();

    QPointer<QNetworkReply> m_reply;
    QSaveFile m_file;
    qint64 m_received = 0;
    bool m_failed = false;
};
