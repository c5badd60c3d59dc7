#include "app/logfile.h"

#include <QDateTime>
#include <QDir>
#include <QMutex>

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
} // namespace

LogFile::LogFile(const QString &folder, qint64 maxBytes)
    : m_folder(folder)
    , m_maxBytes(maxBytes)
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
        + kindOf(type) + " [" + (category ? category : "default") + "] "
        + QString(message).replace(QLatin1Char('\n'), QLatin1Char(' ')).toUtf8() + '\n';
    if (m_file.isOpen() && m_file.size() + line.size() > m_maxBytes)
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
    QFile::remove(pathOf(keptFiles - 1));
    for (int index = keptFiles - 1; index > 0; --index)
        QFile::rename(pathOf(index - 1), pathOf(index));
}
