#include "net/filedownload.h"

#include "config/logging.h"
#include "config/platform.h"
#include "net/networkrequest.h"
#include "net/replybody.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace {
// If-Range takes only a strong validator: an ETag that is not weak, else the date.
QByteArray validatorOf(const QNetworkReply *reply)
{
    const QByteArray etag = reply->rawHeader("ETag").trimmed();
    if (!etag.isEmpty() && !etag.startsWith("W/"))
        return etag;
    return reply->rawHeader("Last-Modified").trimmed();
}

// A launcher killed during a download leaves its part file beside the target;
// nothing else would ever remove it.
void removeStaleParts(const QString &path)
{
    const QFileInfo target(path);
    const QRegularExpression part(QRegularExpression::anchoredPattern(QRegularExpression::escape(target.fileName())
                                      + QStringLiteral("\\.[0-9a-f]{8}\\.part")),
        QRegularExpression::CaseInsensitiveOption);
    QDir folder = target.absoluteDir();
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!part.match(name).hasMatch())
            continue;
        if (folder.remove(name))
            qCInfo(lcNetwork).noquote() << "removed the stale" << folder.filePath(name);
        else
            qCWarning(lcNetwork).noquote() << "cannot remove the stale" << folder.filePath(name);
    }
}
} // namespace

FileDownload::FileDownload(QNetworkAccessManager *manager, int stallTimeoutMs, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_stallTimeoutMs(stallTimeoutMs)
    , m_commitStep(&Platform::replaceFile)
{
    m_resumeTimer.setSingleShot(true);
    connect(&m_resumeTimer, &QTimer::timeout, this, [this] { request(m_received); });
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

void FileDownload::start(const QString &url, const QString &path)
{
    if (m_state != State::Idle)
        return;
    m_url = url;
    m_path = path;
    m_validator.clear();
    m_length = -1;
    m_resumes = 0;
    m_startedOver = false;
    removeStaleParts(path);
    // A name of its own beside the target, made afresh (NewOnly) so that no
    // file or link planted there is written through. Not a QTemporaryFile:
    // that keeps its handle open after close(), and Windows cannot rename an
    // open file.
    m_file = std::make_unique<QFile>(
        path + QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        qCWarning(lcNetwork).noquote() << "cannot create" << m_file->fileName() << ':' << m_file->errorString();
        // Nowhere to save it: don't fetch it at all.
        enter(State::Ending);
        QTimer::singleShot(0, this, [this] { conclude(Outcome::failed(Outcome::Kind::SaveFailed)); });
        return;
    }
    qCInfo(lcNetwork).noquote() << "downloading" << loggable(QUrl(url, QUrl::TolerantMode)) << "to" << path;
    startOver();
    request(0);
}

void FileDownload::enter(State next)
{
    m_state = next;
}

void FileDownload::startOver()
{
    m_file->resize(0);
    m_file->seek(0);
    m_received = 0;
}

void FileDownload::request(qint64 offset)
{
    QNetworkRequest request = makeGetRequest(m_url, m_stallTimeoutMs);
    // Left to itself Qt asks for gzip and unpacks it unseen, and offsets and
    // lengths would no longer count the file's own bytes.
    request.setRawHeader("Accept-Encoding", "identity");
    if (offset > 0) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(offset) + '-');
        request.setRawHeader("If-Range", m_validator);
    }
    m_requestedFrom = offset;
    enter(State::WaitingForHead);
    m_reply = m_manager->get(request);
    // Left unbounded, Qt's network thread reads far ahead of the disk and holds
    // much of the file in memory; a small window keeps memory flat and is faster.
    m_reply->setReadBufferSize(readAheadLimit);
    connect(m_reply, &QIODevice::readyRead, this, &FileDownload::drain);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 total) {
        if (m_reply && m_state == State::Receiving && m_reply->header(QNetworkRequest::ContentLengthHeader).isValid()
            && total > 0)
            emit progress(m_requestedFrom + received, m_requestedFrom + total);
    });
    // Queued, so that whoever holds this download never hears of its end from
    // inside start(), cancel() or its own destruction.
    connect(m_reply, &QNetworkReply::finished, this, &FileDownload::onReplyFinished, Qt::QueuedConnection);
}

FileDownload::Head FileDownload::judgeHead() const
{
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return Head::Unknown;
    const int code = status.toInt();
    if (code == 206) {
        // Only the rest of the file the first answer announced, to its last
        // byte: any other part would be saved as if it were the whole.
        const QByteArray rest = "bytes " + QByteArray::number(m_requestedFrom) + '-' + QByteArray::number(m_length - 1)
            + '/' + QByteArray::number(m_length);
        if (m_requestedFrom > 0 && m_length > m_requestedFrom && m_reply->rawHeader("Content-Range").trimmed() == rest)
            return Head::Rest;
    } else if (m_requestedFrom == 0 || code == 200) {
        return Head::Whole;
    }
    // A part other than the rest, a part when all was asked for, or a 416:
    // once more from the start, but only once.
    return m_startedOver ? Head::Refused : Head::StartOver;
}

bool FileDownload::takeHead()
{
    if (m_state != State::WaitingForHead)
        return true;
    const Head head = judgeHead();
    switch (head) {
    case Head::Unknown:
        return true;
    case Head::Rest:
        qCInfo(lcNetwork) << "resumed at byte" << m_requestedFrom;
        enter(State::Receiving);
        return true;
    case Head::Whole: {
        if (m_requestedFrom > 0) {
            // The file changed, or the server ignores ranges: this is all of it.
            qCInfo(lcNetwork) << "the server sent the whole file again";
            m_requestedFrom = 0;
            startOver();
        }
        m_validator = validatorOf(m_reply);
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        m_length = length.isValid() ? length.toLongLong() : -1;
        enter(State::Receiving);
        return true;
    }
    case Head::StartOver:
    case Head::Refused:
        break;
    }
    qCWarning(lcNetwork) << "refused the answer" << m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()
                         << m_reply->rawHeader("Content-Range") << "to a request from byte" << m_requestedFrom;
    const QString error = m_reply->errorString();
    m_reply->disconnect(this);
    m_reply->abort();
    m_reply->deleteLater();
    m_reply = nullptr;
    if (head == Head::Refused) {
        conclude(Outcome::failed(Outcome::Kind::NetworkError, error));
    } else {
        m_startedOver = true;
        startOver();
        request(0);
    }
    return false;
}

void FileDownload::cancel()
{
    switch (m_state) {
    case State::WaitingForHead:
    case State::Receiving:
        enter(State::Canceling);
        if (m_reply)
            m_reply->abort();
        return;
    case State::WaitingToResume:
        m_resumeTimer.stop();
        enter(State::Ending);
        QTimer::singleShot(0, this, [this] { conclude(Outcome::canceled()); });
        return;
    case State::Idle:
    case State::Committing: // too late: the file is whole
    case State::Canceling:
    case State::WriteFailed:
    case State::Ending:
        return;
    }
}

void FileDownload::drain()
{
    if (!m_reply || m_state == State::WriteFailed || !m_reply->isOpen() || !takeHead())
        return;
    // One buffer, reused: a fresh allocation per piece lets the allocator's
    // free lists grow with the download.
    m_buffer.resize(256 * 1024);
    for (qint64 size; (size = m_reply->read(m_buffer.data(), m_buffer.size())) > 0;) {
        if (m_file->write(m_buffer.constData(), size) != size) {
            // A full disk: the rest is not worth fetching.
            qCWarning(lcNetwork).noquote() << "cannot write" << m_file->fileName() << ':' << m_file->errorString();
            enter(State::WriteFailed);
            m_reply->abort();
            return;
        }
        m_received += size;
    }
}

void FileDownload::onReplyFinished()
{
    QNetworkReply *const reply = m_reply;
    if (!reply)
        return;
    // An answer refused without a body is judged only here; the request
    // that replaces it is not the one that finished.
    drain();
    if (m_reply != reply)
        return;
    m_reply = nullptr;
    reply->deleteLater();

    using Kind = Outcome::Kind;
    if (m_state == State::WriteFailed)
        return conclude(Outcome::failed(Kind::SaveFailed));
    if (m_state == State::Canceling)
        return conclude(Outcome::canceled());
    // Qt reports a body cut short as a closed connection or, at times, as a
    // success; either way it is a cut. A part without a length of its own
    // ends at the close, so the file's length is what tells.
    const QNetworkReply::NetworkError error = reply->error();
    const bool cut
        = (error == QNetworkReply::NoError || error == QNetworkReply::RemoteHostClosedError) && m_received < m_length;
    if (cut || error != QNetworkReply::NoError) {
        // Only the transfer time-out aborts it otherwise.
        const Outcome failure = error == QNetworkReply::OperationCanceledError
            ? Outcome::stalled((qMax(m_stallTimeoutMs, 1) + 999) / 1000)
            : Outcome::failed(cut ? Kind::Cut : Kind::NetworkError, reply->errorString());
        // A transfer that breaks resumes; an answer the server means, such as
        // an HTTP error, does not. Once it has broken, a line that comes back
        // slowly counts as broken too.
        const bool broke = failure.kind != Kind::NetworkError || error == QNetworkReply::RemoteHostClosedError
            || (m_resumes > 0 && failedForWantOfNetwork(reply));
        qCWarning(lcNetwork).noquote() << "download of" << loggable(reply->url()) << "broke off after" << m_received
                                       << "bytes:" << loggableError(reply);
        if (!broke || !resume())
            conclude(failure);
        return;
    }
    if (m_length >= 0 && m_received != m_length) {
        qCWarning(lcNetwork) << "received" << m_received << "bytes of a file of" << m_length;
        return conclude(Outcome::failed(Kind::NetworkError, reply->errorString()));
    }
    Platform::syncToDisk(*m_file);
    m_file->close();
    if (m_file->error() != QFileDevice::NoError) {
        qCWarning(lcNetwork).noquote() << "cannot write" << m_file->fileName() << ':' << m_file->errorString();
        return conclude(Outcome::failed(Kind::SaveFailed));
    }
    enter(State::Committing);
    commit(m_commitAttempts);
}

bool FileDownload::resume()
{
    if (m_resumes >= m_resumeDelaysMs.size())
        return false;
    const int delayMs = m_resumeDelaysMs.at(m_resumes++);
    // Without a validator nothing tells a changed file from the same one, so
    // the rest would be spliced onto another file's start: fetch it whole.
    if (m_validator.isEmpty())
        startOver();
    qCInfo(lcNetwork) << "resuming from byte" << m_received << "in" << delayMs << "ms, attempt" << m_resumes << "of"
                      << m_resumeDelaysMs.size();
    enter(State::WaitingToResume);
    m_resumeTimer.start(delayMs);
    return true;
}

void FileDownload::commit(int attemptsLeft)
{
    if (m_commitStep(m_file->fileName(), m_path)) {
        m_file.reset();
        qCInfo(lcNetwork).noquote() << "saved" << m_path << '(' << m_received << "bytes)";
        return conclude(Outcome::saved());
    }
    if (attemptsLeft <= 1) {
        qCWarning(lcNetwork).noquote() << "cannot put the download in place as" << m_path;
        return conclude(Outcome::failed(Outcome::Kind::SaveFailed));
    }
    QTimer::singleShot(m_commitDelayMs, this, [this, attemptsLeft] { commit(attemptsLeft - 1); });
}

void FileDownload::conclude(const Outcome &outcome)
{
    if (m_file) // an unsaved body goes with it
        m_file->remove();
    m_file.reset();
    enter(State::Idle);
    emit finished(outcome);
}
