#include "net/filedownload.h"

#include "config/platform.h"
#include "net/networkrequest.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QTimer>
#include <sodium.h>

FileDownload::FileDownload(QNetworkAccessManager *manager, int stallTimeoutMs, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_stallTimeoutMs(stallTimeoutMs)
    , m_commitStep(&Platform::replaceFile)
{
    // Once per process, before libsodium's first use; its SHA-256 needs nothing
    // it sets up, so a failure here costs nothing.
    [[maybe_unused]] static const int sodium = sodium_init();
}

FileDownload::~FileDownload()
{
    if (m_file)
        m_file->remove();
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void FileDownload::setCommitPolicy(CommitStep step, int attempts, int delayMs)
{
    m_commitStep = std::move(step);
    m_commitAttempts = qMax(1, attempts);
    m_commitDelayMs = delayMs;
}

void FileDownload::start(const QString &url, const QString &path, bool hash)
{
    if (m_running)
        return;
    m_running = true;
    m_path = path;
    m_received = 0;
    m_writeFailed = false;
    m_canceled = false;
    // libsodium's SHA-256: about twice as fast as Qt's on a large archive.
    m_hash.reset(hash ? new crypto_hash_sha256_state : nullptr);
    if (m_hash)
        crypto_hash_sha256_init(m_hash.get());
    // A name of its own beside the target, made afresh (NewOnly) so that no
    // file or link planted there is written through. Not a QTemporaryFile:
    // that keeps its handle open after close(), and Windows cannot rename an
    // open file.
    m_file = std::make_unique<QFile>(
        path + QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        // Nowhere to save it: don't fetch it at all.
        QTimer::singleShot(0, this, [this] { conclude({Outcome::Kind::SaveFailed, {}, {}}); });
        return;
    }
    m_reply = m_manager->get(makeGetRequest(url, m_stallTimeoutMs));
    // Left unbounded, Qt's network thread reads far ahead of the disk and holds
    // much of the file in memory; a small window keeps memory flat and is faster.
    m_reply->setReadBufferSize(readAheadLimit);
    connect(m_reply, &QIODevice::readyRead, this, &FileDownload::drain);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 total) {
        if (m_reply && m_reply->header(QNetworkRequest::ContentLengthHeader).isValid() && total > 0)
            emit progress(received, total);
    });
    // Queued, so that whoever holds this download never hears of its end from
    // inside start(), cancel() or its own destruction.
    connect(m_reply, &QNetworkReply::finished, this, &FileDownload::onReplyFinished, Qt::QueuedConnection);
}

void FileDownload::cancel()
{
    if (!m_reply)
        return;
    m_canceled = true;
    m_reply->abort();
}

void FileDownload::drain()
{
    if (!m_reply || m_writeFailed || !m_reply->isOpen())
        return;
    // One buffer, reused: a fresh allocation per piece lets the allocator's
    // free lists grow with the download.
    m_buffer.resize(256 * 1024);
    for (qint64 size; (size = m_reply->read(m_buffer.data(), m_buffer.size())) > 0;) {
        const QByteArrayView piece(m_buffer.constData(), size);
        m_received += size;
        if (m_hash)
            crypto_hash_sha256_update(
                m_hash.get(), reinterpret_cast<const unsigned char *>(piece.data()), quint64(size));
        if (m_file->write(piece.data(), size) != size) {
            // A full disk: the rest is not worth fetching.
            m_writeFailed = true;
            m_reply->abort();
            return;
        }
    }
}

void FileDownload::onReplyFinished()
{
    if (!m_reply)
        return;
    drain();
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    reply->deleteLater();

    using Kind = Outcome::Kind;
    if (m_writeFailed)
        return conclude({Kind::SaveFailed, {}, {}});
    if (m_canceled)
        return conclude({Kind::Canceled, {}, {}});
    switch (reply->error()) {
    case QNetworkReply::NoError:
        break;
    case QNetworkReply::OperationCanceledError: // only the transfer time-out aborts it otherwise
        return conclude({Kind::Failed,
            QStringLiteral("Загрузка прервана: сервер не присылал данных %1 с.")
                .arg((qMax(m_stallTimeoutMs, 1) + 999) / 1000),
            {}});
    default:
        return conclude({Kind::Failed, reply->errorString(), {}});
    }
    if (isTruncated(reply, m_received))
        return conclude({Kind::Failed, QStringLiteral("Соединение оборвалось до конца файла."), {}});
    Platform::syncToDisk(*m_file);
    m_file->close();
    if (m_file->error() != QFileDevice::NoError)
        return conclude({Kind::SaveFailed, {}, {}});
    commit(m_commitAttempts);
}

void FileDownload::commit(int attemptsLeft)
{
    if (m_commitStep(m_file->fileName(), m_path)) {
        m_file.reset();
        QByteArray digest;
        if (m_hash) {
            digest.resize(crypto_hash_sha256_BYTES);
            crypto_hash_sha256_final(m_hash.get(), reinterpret_cast<unsigned char *>(digest.data()));
        }
        return conclude({Outcome::Kind::Saved, {}, digest});
    }
    if (attemptsLeft <= 1)
        return conclude({Outcome::Kind::SaveFailed, {}, {}});
    QTimer::singleShot(m_commitDelayMs, this, [this, attemptsLeft] { commit(attemptsLeft - 1); });
}

void FileDownload::conclude(Outcome outcome)
{
    if (m_file) // an unsaved body goes with it
        m_file->remove();
    m_file.reset();
    m_hash.reset();
    m_running = false;
    emit finished(outcome);
}
