#pragma once

#include <QCoreApplication>
#include <QList>
#include <QProcess>
#include <QStringList>

/// Runs this benchmark's own program with arguments, so that a measurement
/// starts in a fresh process, and reads the figures of its "RESULT a b c"
/// line; empty when it failed, gave no such line or ran past timeoutMs.
inline QList<double> runChild(const QStringList &arguments, int timeoutMs)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(timeoutMs)) {
        child.kill();
        child.waitForFinished();
        return {};
    }
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        if (line.startsWith("RESULT ")) {
            QList<double> values;
            for (const QByteArray &field : line.mid(7).split(' '))
                values << field.toDouble();
            return values;
        }
    }
    return {};
}
