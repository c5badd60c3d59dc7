#pragma once

#include <QFile>
#include <QString>
#include <QtGlobal>

/**
 * launcher.log in the player's data folder: what a player sends to support.
 * One line per message, in UTF-8, with the local time to the millisecond, the
 * kind and the category. Each line reaches the file as it is written, so a
 * crash loses nothing; at maxBytes the file is rotated, and keptFiles files
 * are kept (launcher.log, launcher.1.log, ...). A live file that cannot be
 * moved keeps growing, and is tried again after another maxBytes. A log that
 * cannot be written (a read-only folder, a full disk) loses its lines and
 * nothing else. A line break in a message becomes a space, other control
 * characters \uXXXX.
 */
class LogFile final
{
public:
    static constexpr qint64 defaultMaxBytes = 1024 * 1024;
    static constexpr int keptFiles = 3;

    explicit LogFile(const QString &folder, qint64 maxBytes = defaultMaxBytes);
    ~LogFile();
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    /// Makes this file take every message of the process, from any thread,
    /// until it is destroyed; each message also goes on to the handler before it.
    void install();

    void write(QtMsgType type, const char *category, const QString &message);

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);
    QString pathOf(int index) const;
    void rotate();

    QString m_folder;
    qint64 m_maxBytes;
    qint64 m_rotateAt; ///< the size past which the next line rotates
    QFile m_file;
    QtMessageHandler m_previous = nullptr;
};
