#pragma once

// Helpers shared by the play tests: answering modal windows from inside their
// own event loops, and a client stand-in that records how it was started.

#include "app/platform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

/// Hands every modal window that becomes active to the handler, once each.
/// Modal windows run their own event loops, so a test cannot look at them
/// between statements; the handler records what it sees into variables the
/// test owns and checks after the action has returned.
class ModalWatcher final : public QObject
{
public:
    using Handler = std::function<void(QWidget *)>;

    explicit ModalWatcher(Handler handler)
        : m_handler(std::move(handler))
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
        m_timer.start(5);
    }

    int seen() const { return int(m_seen.size()); }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        for (const QPointer<QWidget> &seen : std::as_const(m_seen)) {
            if (seen == modal)
                return;
        }
        m_seen.append(modal);
        m_handler(modal);
    }

    Handler m_handler;
    QTimer m_timer;
    QList<QPointer<QWidget>> m_seen;
};

/// What a message box showed, taken before the box is answered with OK.
struct BoxRecord final
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttonCount = 0;
    bool onlyOk = false;
    bool hasDefault = false;
    QWidget *parent = nullptr;

    /// Records box and clicks its OK button; false if widget is no message box.
    static bool answer(QWidget *widget, QList<BoxRecord> &into)
    {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box)
            return false;
        BoxRecord record;
        record.title = box->windowTitle();
        record.text = box->text();
        record.icon = box->icon();
        record.buttonCount = int(box->buttons().size());
        record.onlyOk = box->standardButtons() == QMessageBox::Ok;
        record.hasDefault = box->defaultButton() != nullptr;
        record.parent = box->parentWidget();
        into.append(record);
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        return true;
    }
};

/// The environment variable through which client stand-ins learn where to record.
inline const char *clientRecordVariable()
{
    return "VELOR_TEST_CLIENT_RECORD";
}

/// A client stand-in: an executable script that appends "<argument count>|<working
/// folder>" to the file named by VELOR_TEST_CLIENT_RECORD each time it starts.
inline QByteArray clientScript()
{
    return QByteArrayLiteral("#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$(pwd -P)\" >> \"$VELOR_TEST_CLIENT_RECORD\"\n");
}

/// Lines the client stand-ins recorded, one per start.
inline QStringList recordedStarts(const QString &recordPath)
{
    QFile file(recordPath);
    if (!file.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

/// The two client values as the client would read them back.
inline QStringList clientValues()
{
    const std::unique_ptr<QSettings> key = Platform::openClientKey();
    key->sync();
    if (!key->contains(QStringLiteral("launch2.ip")) && !key->contains(QStringLiteral("launch2.port")))
        return QStringList();
    return {key->value(QStringLiteral("launch2.ip")).toString(), key->value(QStringLiteral("launch2.port")).toString()};
}
