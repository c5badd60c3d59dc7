#include "app/logfile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <filesystem>

namespace {
// A message handler is one per process; this is the file it writes to.
QMutex installedMutex;
LogFile *installed = nullptr;
QtMessageHandler installedPrevious = nullptr;

const char *kindOf(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "error";
    case QtFatalMsg:
        break;
    }
    return "fatal";
}

// One message is one line: a value from the network may carry a CR, a U+2028 or
// the like, after which an editor shows the rest as a line of its own.
QByteArray oneLine(const QString &message)
{
    QString line;
    line.reserve(message.size());
    for (const QChar c : message) {
        const char16_t code = c.unicode();
        if (code == u'\n')
            line += QLatin1Char(' ');
        else if (code < 0x20 || (code >= 0x7f && code < 0xa0) || code == 0x2028 || code == 0x2029)
            line += QStringLiteral("\\u%1").arg(int(code), 4, 16, QLatin1Char('0'));
        else
            line += c;
    }
    return line.toUtf8();
}

// QFile::rename copies a file it cannot move, and deletes the copy again when
// the original stays held; this one only moves.
bool move(const QString &from, const QString &to)
{
    std::error_code error;
    std::filesystem::rename(from.toStdU16String(), to.toStdU16String(), error);
    return !error;
}
} // namespace

LogFile::LogFile(const QString &folder, qint64 maxBytes)
    : m_folder(folder)
    , m_maxBytes(maxBytes)
    , m_rotateAt(maxBytes)
{
}

LogFile::~LogFile()
{
    const QMutexLocker lock(&installedMutex);
    if (installed == this) {
        qInstallMessageHandler(m_previous);
        installed = nullptr;
    }
}

void LogFile::install()
{
    const QMutexLocker lock(&installedMutex);
    installed = this;
    m_previous = qInstallMessageHandler(&LogFile::handle);
    installedPrevious = m_previous;
}

void LogFile::handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        const QMutexLocker lock(&installedMutex);
        if (installed)
            installed->write(type, context.category, message);
    }
    if (installedPrevious)
        installedPrevious(type, context, message);
}

QString LogFile::pathOf(int index) const
{
    return m_folder + (index ? QStringLiteral("/launcher.%1.log").arg(index) : QStringLiteral("/launcher.log"));
}

void LogFile::write(QtMsgType type, const char *category, const QString &message)
{
    const QByteArray line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")).toUtf8()
        + kindOf(type) + " [" + (category ? category : "default") + "] " + oneLine(message) + '\n';
    if (m_file.isOpen() && m_file.size() + line.size() > m_rotateAt)
        rotate();
    if (!m_file.isOpen()) {
        QDir().mkpath(m_folder);
        m_file.setFileName(pathOf(0));
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return;
    }
    // A full disk: the line is lost, and the next one tries afresh.
    if (m_file.write(line) != line.size())
        m_file.close();
}

void LogFile::rotate()
{
    m_file.close();
    // Windows moves no file another process holds open, as a second launcher
    // beside this one does: the older files stay, and the next try waits until
    // the live file has grown by another maxBytes.
    const QString staged = pathOf(keptFiles);
    if (!move(pathOf(0), staged)) {
        m_rotateAt = QFileInfo(pathOf(0)).size() + m_maxBytes;
        return;
    }
    m_rotateAt = m_maxBytes;
    QFile::remove(pathOf(keptFiles - 1));
    for (int index = keptFiles - 1; index > 1; --index)
        move(pathOf(index - 1), pathOf(index));
    move(staged, pathOf(1));
}
