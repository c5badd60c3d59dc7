#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QAbstractButton;

/**
 * Answers modal dialogs from a timer. A test that opens one is stuck inside
 * its exec() until it closes, so everything that looks at or clicks a modal
 * dialog runs here, and the test checks what was recorded afterwards.
 *
 * Message boxes are recorded and closed with OK. Any other modal widget (or
 * none) is handed to the steps in order; a step returns true when it is done.
 * A modal widget still open after a long time is closed and listed in stuck,
 * so a test never hangs.
 */
class ModalWatcher final : public QObject
{
public:
    struct Box
    {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
        QString text;
        QStringList buttons;
        bool hasDefaultButton = false;
        QWidget *parent = nullptr;
    };
    using Step = std::function<bool(QWidget *modal)>;

    explicit ModalWatcher(QObject *parent = nullptr);

    void addStep(Step step) { m_steps.append(std::move(step)); }
    bool stepsDone() const { return m_steps.isEmpty(); }

    QList<Box> boxes;
    QStringList stuck;

    /// Clicks or presses on the next event-loop pass, so that a click that
    /// opens a nested dialog does not block the watcher.
    static void clickLater(QAbstractButton *button);
    static void keyLater(QWidget *widget, Qt::Key key);

private:
    void tick();

    QTimer m_timer;
    QList<Step> m_steps;
    QList<QPointer<QWidget>> m_answered;
    QPointer<QWidget> m_current;
    QElapsedTimer m_since;
};

/// An executable "updater.exe" script in folder that appends one line per
/// start to logPath: its argument count, its arguments, and its working folder.
QString writeClientScript(const QString &folder, const QString &logPath);

/// The lines a client script has logged so far.
QStringList logLines(const QString &logPath);

/// The text quoted for a POSIX shell.
QString shellQuote(const QString &text);
