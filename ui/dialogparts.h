#pragma once

#include <QMessageBox>

class QDialog;
class QLabel;
class QPushButton;
class QString;
class QWidget;

/// The pieces the launcher's dark dialogs are built of, named so that tests
/// and screen readers find them.
namespace DialogParts {

/// A label that wraps its words.
QLabel *label(QWidget *dialog, const char *objectName, const QString &text, const QString &style);

/// A button whose accessible name is its text.
QPushButton *button(QWidget *dialog, const char *objectName, const QString &text, const QString &style);

/// Shows dialog application-modal, as exec() did, and returns at once; open()
/// would make it modal to its parent window alone.
void showModal(QDialog *dialog);

/// Shows a message box as QMessageBox's static functions would, with one OK
/// button, and returns at once; the box goes when it is closed.
QMessageBox *showBox(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text);

} // namespace DialogParts
