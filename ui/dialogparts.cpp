#include "ui/dialogparts.h"

#include <QLabel>
#include <QPushButton>

QLabel *DialogParts::label(QWidget *dialog, const char *objectName, const QString &text, const QString &style)
{
    auto *label = new QLabel(text, dialog);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setStyleSheet(style);
    label->setWordWrap(true);
    return label;
}

QPushButton *DialogParts::button(QWidget *dialog, const char *objectName, const QString &text, const QString &style)
{
    auto *button = new QPushButton(text, dialog);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setAccessibleName(text);
    button->setStyleSheet(style);
    return button;
}
