#include "config/platform.h"
#include "launch/playflow.h"
#include "launch/playprompts.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

/// Answers the play action from a script: picks folders in the client-missing
/// dialog, then cancels; logs what it was told.
struct ScriptedPrompts final : PlayPrompts
{
    QStringList picks, log;
    ClientMissingAnswer clientMissing(const std::function<bool(const QString &)> &acceptFolder) override
    {
        log << u"missing"_s;
        for (const QString &folder : std::as_const(picks)) {
            if (acceptFolder(folder))
                return ClientMissingAnswer::FolderChosen;
        }
        return ClientMissingAnswer::Cancel;
    }
    void showDownload(FileDownload &) override { }
    void downloadEnded() override { }
    void bringBack() override { }
    void notify(Notice, const QString &title, const QString &text) override { log << title + u'|' + text; }
};

class TestPlay final : public QObject
{
    Q_OBJECT

private slots:
    void play_data();
    void play();
    void unpackCommandQuotesItsPaths();
};

void TestPlay::play_data()
{
    QTest::addColumn<QString>("client"); // the folder that holds updater.exe; "broken": one that cannot start
    QTest::addColumn<QStringList>("picks"); // folders picked in the client-missing dialog
    QTest::addColumn<bool>("keyWritable");
    QTest::addColumn<QStringList>("told");
    const QString failed = u"Ошибка|Не удалось запустить RageMP!\nПроверьте путь в настройках."_s;
    QTest::newRow("next to the launcher") << u"neighbour"_s << QStringList() << true << QStringList();
    QTest::newRow("nowhere, cancelled") << QString() << QStringList() << true << QStringList{u"missing"_s};
    QTest::newRow("nowhere, a wrong folder picked, then the right one")
        << u"picked"_s << QStringList{u"wrong"_s, u"picked"_s} << true << QStringList{u"missing"_s};
    QTest::newRow("picked, but it cannot start")
        << u"broken"_s << QStringList{u"broken"_s} << true << QStringList{u"missing"_s, failed};
#ifndef Q_OS_WIN // a registry key that refuses writing needs an access list of its own
    QTest::newRow("client key that cannot be written")
        << u"neighbour"_s << QStringList() << false << QStringList{failed};
#endif
}

void TestPlay::play()
{
    QFETCH(QString, client);
    QFETCH(QStringList, picks);
    QFETCH(bool, keyWritable);
    QFETCH(QStringList, told);
    QTemporaryDir scratch;
    LauncherEnvironment env = testEnvironment(scratch.path());
    env.neighbourClientFolder = scratch.filePath(u"neighbour"_s);
    const QString folder = scratch.filePath(client);
    if (client == u"broken"_s)
        QDir().mkpath(folder + u"/updater.exe"_s); // holds the client, but no program can start
    else if (!client.isEmpty())
        writeRecorder(folder + u"/updater.exe"_s);
    if (!keyWritable)
        QDir().mkpath(env.clientKeyLocation); // a folder where the file would go
    ScriptedPrompts prompts;
    for (const QString &pick : picks)
        prompts.picks << scratch.filePath(pick);
    {
        QNetworkAccessManager manager;
        PlayFlow flow(env, &manager, prompts);
        flow.play();
    }
    QCOMPARE(prompts.log, told);
    const auto key = Platform::openSettings(env.clientKeyLocation);
    QCOMPARE(key->contains(u"launch2.ip"_s), !client.isEmpty() && keyWritable);
    if (client.isEmpty())
        return;
    QCOMPARE(Platform::openSettings(env.settingsLocation)->value(u"ragempPath"_s).toString(), folder);
    if (!told.join(u'|').contains(u"Ошибка"_s)) {
        QTRY_COMPARE(recorded(folder + u"/updater.exe"_s), u"|"_s + QFileInfo(folder).canonicalFilePath() + u"\n"_s);
        QCOMPARE(key->value(u"launch2.ip"_s), QVariant(u"game.site.test"_s));
        QCOMPARE(key->value(u"launch2.port"_s), QVariant(u"22005"_s));
    }
}

void TestPlay::unpackCommandQuotesItsPaths()
{
    // PowerShell ends a quoted string at any of five quote characters, so each
    // is doubled; -LiteralPath keeps [brackets] from being read as wildcards.
    QCOMPARE(Platform::expandArchiveCommand(u"C:/Temp/a'b\u2019[1].zip"_s, u"C:/д\u201b"_s),
        u"Expand-Archive -LiteralPath 'C:/Temp/a''b\u2019\u2019[1].zip' -DestinationPath 'C:/д\u201b\u201b' -Force"_s);
}

QTEST_GUILESS_MAIN(TestPlay)
#include "tst_play.moc"
