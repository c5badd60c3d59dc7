#include "ui/crashnoticedialog.h"

#include "config/logging.h"
#include "ui/dialogparts.h"
#include "ui/theme.h"

#include <QDesktopServices>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QUrl>
#include <QVBoxLayout>

namespace {
/// Holds the name of the last report the player was told of.
QString toldPath(const QString &folder)
{
    return folder + QStringLiteral("/told");
}
} // namespace

void CrashNoticeDialog::showIfDue(const QString &folder, QWidget *parent)
{
    // Report names begin with their time, so the last in name order is the newest.
    const QStringList reports
        = QDir(folder).entryList({QStringLiteral("crash-*.txt")}, QDir::Files, QDir::Name | QDir::Reversed);
    if (reports.isEmpty())
        return;
    QFile told(toldPath(folder));
    if (told.open(QIODevice::ReadOnly) && QString::fromUtf8(told.readAll()) == reports.first())
        return;
    qCWarning(lcCrash).noquote() << "the launcher closed unexpectedly last time: report" << reports.first();
    QSaveFile mark(toldPath(folder));
    if (!mark.open(QIODevice::WriteOnly) || mark.write(reports.first().toUtf8()) < 0 || !mark.commit())
        qCWarning(lcCrash) << "cannot mark the crash report as told:" << mark.errorString();
    auto *notice = new CrashNoticeDialog(folder, parent);
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->open();
}

CrashNoticeDialog::CrashNoticeDialog(const QString &folder, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("crashNoticeDialog"));
    setFixedSize(440, 200);
    setStyleSheet(Theme::dialog);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 22, 24, 20);
    layout->setSpacing(10);
    layout->addWidget(
        DialogParts::label(this, "crashNoticeTitleLabel", tr("Лаунчер был неожиданно закрыт"), Theme::dialogTitle));
    layout->addWidget(DialogParts::label(this, "crashNoticeDescriptionLabel",
        tr("В прошлый раз лаунчер закрылся из-за ошибки. Отчёт о ней сохранён: если это повторится, отправьте "
           "его в поддержку вместе с логом."),
        Theme::dialogDescription));
    layout->addStretch();

    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    QPushButton *open
        = DialogParts::button(this, "openCrashFolderButton", tr("Открыть папку"), Theme::dialogMainButton);
    QPushButton *close = DialogParts::button(this, "closeCrashNoticeButton", tr("Закрыть"), Theme::dialogQuietButton);
    row->addWidget(open);
    row->addStretch();
    row->addWidget(close);
    layout->addLayout(row);

    connect(open, &QAbstractButton::clicked, this, [folder] {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
            qCWarning(lcCrash) << "cannot open the crash folder";
    });
    connect(close, &QAbstractButton::clicked, this, &QDialog::accept);
}
