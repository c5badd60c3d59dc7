#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QFile;

/**
 * One file download, streamed to disk while it arrives so that memory stays
 * flat whatever the file's size. The body goes into a temporary file beside
 * the target, and takes the target's name only once it arrived whole and
 * without error; until then an earlier file of that name stays untouched, and
 * nothing is left behind by a download that fails, is cancelled or is dropped;
 * what a killed launcher left there goes when the next download starts.
 *
 * A transfer that breaks (the connection reset or closed, or the server
 * silent for the stall time-out) resumes by itself from the bytes already on
 * disk, after each of the resume delays in turn: it asks for the rest with
 * Range, guarded by If-Range with the first answer's validator, so that a
 * file changed meanwhile is fetched anew rather than spliced. A part answer
 * is taken only when it is exactly the rest of the file the first answer
 * announced, and a file of any other length is never saved. Only when the
 * delays are spent does the download fail. Every ending is reported once, by
 * finished(), from the event loop.
 */
class FileDownload final : public QObject
{
    Q_OBJECT

public:
    struct Outcome
    {
        enum class Kind {
            Saved, ///< the whole body is in place under its final name
            SaveFailed, ///< the file could not be written or put in place
            Canceled, ///< cancel() was called; nothing to report
            NetworkError, ///< the network or the server failed; networkError says how
            Stalled, ///< the server stayed silent for stallSeconds
            Cut, ///< the connection closed before the end of the file
        };
        Outcome() = default;
        static Outcome saved() { return Outcome(Kind::Saved, {}, 0); }
        static Outcome canceled() { return Outcome(Kind::Canceled, {}, 0); }
        static Outcome stalled(int seconds) { return Outcome(Kind::Stalled, {}, seconds); }
        static Outcome failed(Kind kind, const QString &networkError = QString())
        {
            return Outcome(kind, networkError, 0);
        }

        Kind kind = Kind::NetworkError;
        QString networkError; ///< the network layer's own description
        int stallSeconds = 0;

    private:
        Outcome(Kind kind, const QString &networkError, int stallSeconds)
            : kind(kind)
            , networkError(networkError)
            , stallSeconds(stallSeconds)
        {
        }
    };

    /// Puts the finished temporary file in the target's place.
    using CommitStep = std::function<bool(const QString &from, const QString &to)>;

    /// The most the network layer buffers ahead of the file.
    static constexpr qint64 readAheadLimit = 2 * 1024 * 1024;

    FileDownload(QNetworkAccessManager *manager, int stallTimeoutMs, QObject *parent = nullptr);
    ~FileDownload() override;

    /**
     * A virus scanner or the search indexer may hold a fresh file open for a
     * moment, and the rename then fails; a failed commit is tried again after
     * delayMs, attempts times in all, before the download counts as unsaved.
     */
    void setCommitPolicy(CommitStep step, int attempts, int delayMs);
    /// How long to wait before each resume of a broken transfer; as many resumes as delays.
    void setResumeDelays(const QList<int> &delaysMs) { m_resumeDelaysMs = delaysMs; }

    /// Streams url into path. Does nothing while a download runs.
    void start(const QString &url, const QString &path);
    /// Stops the download; it ends as Canceled.
    void cancel();
    bool isRunning() const { return m_state != State::Idle; }

signals:
    /// Bytes of the file so far, of a body whose length is known; without a
    /// length nothing is reported, so a bar never jumps to full at the close.
    void progress(qint64 received, qint64 total);
    void finished(const FileDownload::Outcome &outcome);

private:
    enum class State {
        Idle,
        WaitingForHead, ///< a request is out; its answer's status and headers are not judged yet
        Receiving, ///< the answer was taken; its body goes to the file
        WaitingToResume, ///< the transfer broke; the next request waits out its delay
        Committing, ///< the whole file is on disk and takes the target's name
        Canceling, ///< cancel() aborted the reply, whose end is awaited
        WriteFailed, ///< the disk refused a piece; the aborted reply's end is awaited
        Ending, ///< the outcome is decided and is reported from the event loop
    };

    /// What an answer's status and headers call for.
    enum class Head {
        Unknown, ///< no status yet: nothing to judge
        Rest, ///< exactly the rest of the file that was asked for
        Whole, ///< the whole file, whatever was asked for
        StartOver, ///< some other part, or a refusal: the whole file is asked for once more
        Refused, ///< refused again after starting over: the download fails
    };

    void enter(State next);
    void request(qint64 offset);
    Head judgeHead() const;
    bool takeHead();
    void startOver();
    void drain();
    void onReplyFinished();
    bool resume();
    void commit(int attemptsLeft);
    void conclude(const Outcome &outcome);

    QNetworkAccessManager *m_manager;
    int m_stallTimeoutMs;
    CommitStep m_commitStep;
    int m_commitAttempts = 6;
    int m_commitDelayMs = 300;
    QList<int> m_resumeDelaysMs{1000, 2000, 4000};

    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<QFile> m_file;
    QTimer m_resumeTimer;
    QString m_url;
    QString m_path;
    QByteArray m_validator; ///< the first answer's ETag or Last-Modified, for If-Range
    QByteArray m_buffer;
    qint64 m_length = -1; ///< the file's length as the first answer announced it; -1 if it did not
    qint64 m_received = 0; ///< bytes in the file
    qint64 m_requestedFrom = 0; ///< where the current reply's body starts in the file
    int m_resumes = 0;
    bool m_startedOver = false; ///< a refused answer was met by asking for the whole file once already
    State m_state = State::Idle;
};
