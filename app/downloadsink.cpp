#include "app/downloadsink.h"

#include "app/networkrequest.h"

#include <QNetworkReply>

DownloadSink::DownloadSink(QNetworkReply *reply, const QString &path, QObject *parent)
    : QObject(parent)
    , m_reply(reply)
    , m_file(path)
{
    // Left unbounded, Qt's network thread reads far ahead of the disk and holds
    // much of the file in memory; a small window keeps memory flat and is faster.
    reply->setReadBufferSize(readAheadLimit);
    if (!m_file.open(QIODevice::WriteOnly))
        m_failed = true;
    connect(reply, &QIODevice::readyRead, this, &DownloadSink::drain);
}

void DownloadSink::drain()
{
    if (!m_reply)
        return;
    if (m_failed) {
        fail();
        return;
    }
    const QByteArray chunk = m_reply->readAll();
    m_received += chunk.size();
    if (!chunk.isEmpty() && m_file.write(chunk) != chunk.size())
        fail();
}

void DownloadSink::fail()
{
    m_failed = true;
    m_file.cancelWriting();
    if (m_reply && m_reply->isRunning())
        m_reply->abort();
}

DownloadSink::Result DownloadSink::commit()
{
    drain();
    if (m_failed)
        return Result::WriteFailed;
    if (m_reply && isTruncated(m_reply, m_received)) {
        m_file.cancelWriting();
        m_file.commit();
        return Result::Truncated;
    }
    if (!m_file.commit()) {
        m_failed = true;
        return Result::WriteFailed;
    }
    return Result::Saved;
}
