#include "ui/dialogparts.h"

#include <QDialog>
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

void DialogParts::showModal(QDialog *dialog)
{
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
}

QMessageBox *DialogParts::showBox(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text)
{
    auto *box = new QMessageBox(icon, title, text, QMessageBox::Ok, parent);
    box->setDefaultButton(QMessageBox::Ok);
    QObject::connect(box, &QDialog::finished, box, &QObject::deleteLater);
    showModal(box);
    return box;
}
