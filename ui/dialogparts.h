#pragma once

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

} // namespace DialogParts
