#include "launchtestsupport.h"

#include "testenvironment.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QTest>

namespace {
constexpr int stuckAfterMs = 15000;
}

ModalWatcher::ModalWatcher(QObject *parent)
    : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
    m_timer.start(10);
}

void ModalWatcher::clickLater(QAbstractButton *button)
{
    QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
}

void ModalWatcher::keyLater(QWidget *widget, Qt::Key key)
{
    QTimer::singleShot(0, widget, [widget, key] { QTest::keyClick(widget, key); });
}

void ModalWatcher::tick()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (modal != m_current) {
        m_current = modal;
        m_since.start();
    } else if (modal && m_since.elapsed() > stuckAfterMs) {
        stuck << modal->objectName();
        m_since.start();
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
        return;
    }

    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        if (m_answered.contains(QPointer<QWidget>(box)))
            return;
        m_answered.append(box);
        Box seen;
        seen.icon = box->icon();
        seen.title = box->windowTitle();
        seen.text = box->text();
        for (QAbstractButton *button : box->buttons())
            seen.buttons << button->text();
        seen.hasDefaultButton = box->defaultButton() != nullptr;
        seen.parent = box->parentWidget();
        boxes.append(seen);
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            clickLater(ok);
        else
            QMetaObject::invokeMethod(box, "reject", Qt::QueuedConnection);
        return;
    }
    if (!m_steps.isEmpty() && m_steps.first()(modal))
        m_steps.removeFirst();
}

QString shellQuote(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString writeClientScript(const QString &folder, const QString &logPath)
{
    const QString script = QStringLiteral("#!/bin/sh\nprintf '%s\\t%s\\t%s\\n' \"$#\" \"$*\" \"$(pwd -P)\" >> %1\n")
                               .arg(shellQuote(logPath));
    return writeFile(folder + QStringLiteral("/updater.exe"), script.toUtf8(), true);
}

QStringList logLines(const QString &logPath)
{
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
