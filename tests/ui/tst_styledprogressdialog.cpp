#include "ui/styledprogressdialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class TestStyledProgressDialog final : public QObject
{
    Q_OBJECT

private slots:
    void shape_data();
    void shape();
    void cancelOnlyEmits();
    void escapeRejectsWithoutCancel();
    void downloadProgress_data();
    void downloadProgress();
};

void TestStyledProgressDialog::shape_data()
{
    QTest::addColumn<bool>("showCancel");
    QTest::addColumn<QSize>("size");
    QTest::newRow("with cancel") << true << QSize(420, 175);
    QTest::newRow("without cancel") << false << QSize(420, 130);
}

void TestStyledProgressDialog::shape()
{
    QFETCH(bool, showCancel);
    QFETCH(QSize, size);
    StyledProgressDialog dialog(QStringLiteral("Скачивание"), showCancel);
    dialog.show();
    QCOMPARE(dialog.size(), size);
    QCOMPARE(dialog.minimumSize(), size);
    QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(dialog.windowModality(), Qt::ApplicationModal);
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("progressHeadingLabel"))->text(), QStringLiteral("Скачивание"));
    QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("progressStatusLabel"))->text().isEmpty());
    auto *bar = dialog.findChild<QProgressBar *>(QStringLiteral("progressBar"));
    QCOMPARE(bar->value(), 0);
    QCOMPARE(bar->maximum(), 100);
    QVERIFY(!bar->isTextVisible());
    QCOMPARE(bar->height(), 8);
    auto *cancel = dialog.findChild<QPushButton *>(QStringLiteral("progressCancelButton"));
    QCOMPARE(cancel != nullptr, showCancel);
    if (cancel) {
        QCOMPARE(cancel->text(), QStringLiteral("Отмена"));
        // Right-aligned under the bar.
        QCOMPARE(cancel->geometry().right(), dialog.width() - 24 - 1);
        QVERIFY(cancel->geometry().top() > bar->geometry().bottom());
    }
}

void TestStyledProgressDialog::cancelOnlyEmits()
{
    StyledProgressDialog dialog(QStringLiteral("x"), true);
    dialog.show();
    dialog.setStatusText(QStringLiteral("Подготовка..."));
    QSignalSpy canceled(&dialog, &StyledProgressDialog::canceled);
    auto *cancel = dialog.findChild<QPushButton *>(QStringLiteral("progressCancelButton"));
    cancel->click();
    cancel->click();
    QCOMPARE(canceled.count(), 2);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("progressStatusLabel"))->text(), QStringLiteral("Подготовка..."));
}

void TestStyledProgressDialog::escapeRejectsWithoutCancel()
{
    StyledProgressDialog dialog(QStringLiteral("x"), true);
    QSignalSpy canceled(&dialog, &StyledProgressDialog::canceled);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(rejected.count(), 1);
    QCOMPARE(canceled.count(), 0);
    QVERIFY(!dialog.isVisible());
    dialog.setProgress(50); // the owner may still feed the hidden dialog
    QCOMPARE(dialog.findChild<QProgressBar *>(QStringLiteral("progressBar"))->value(), 50);
}

void TestStyledProgressDialog::downloadProgress_data()
{
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("bar");
    QTest::addColumn<QString>("text");
    const QString untouched = QStringLiteral("Подготовка...");
    QTest::newRow("example") << qint64(5767168) << qint64(20971520) << 27
                             << QStringLiteral("Скачивание... 5 МБ / 20 МБ");
    QTest::newRow("complete") << qint64(20971520) << qint64(20971520) << 100
                              << QStringLiteral("Скачивание... 20 МБ / 20 МБ");
    QTest::newRow("update example") << qint64(5 * 1048576) << qint64(30 * 1048576) << 16
                                    << QStringLiteral("Скачивание... 5 МБ / 30 МБ");
    QTest::newRow("under a mebibyte") << qint64(300000) << qint64(900000) << 33
                                      << QStringLiteral("Скачивание... 0 МБ / 0 МБ");
    QTest::newRow("unknown total") << qint64(5000) << qint64(-1) << 0 << untouched;
    QTest::newRow("zero total") << qint64(0) << qint64(0) << 0 << untouched;
    QTest::newRow("beyond 32 bits") << qint64(6) * 1024 * 1048576 << qint64(8) * 1024 * 1048576 << 75
                                    << QStringLiteral("Скачивание... 6144 МБ / 8192 МБ");
}

void TestStyledProgressDialog::downloadProgress()
{
    QFETCH(qint64, received);
    QFETCH(qint64, total);
    QFETCH(int, bar);
    QFETCH(QString, text);
    StyledProgressDialog dialog(QStringLiteral("x"), true);
    dialog.setStatusText(QStringLiteral("Подготовка..."));
    dialog.showDownloadProgress(received, total);
    QCOMPARE(dialog.findChild<QProgressBar *>(QStringLiteral("progressBar"))->value(), bar);
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("progressStatusLabel"))->text(), text);
}

QTEST_MAIN(TestStyledProgressDialog)
#include "tst_styledprogressdialog.moc"
