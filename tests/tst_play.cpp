#include "config/platform.h"
#include "launch/playflow.h"
#include "launch/playprompts.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;
using Answer = PlayPrompts::ClientMissingAnswer;

/// Answers the play action from a script and logs what it was asked and told.
struct ScriptedPrompts final : PlayPrompts
{
    QStringList picks; ///< folders the user picks in the client-missing dialog
    Answer answer = Answer::Cancel;
    QStringList log;
    std::function<void()> duringDownload;

    Answer clientMissing(const std::function<bool(const QString &)> &acceptFolder) override
    {
        log << QStringLiteral("missing");
        for (const QString &folder : std::as_const(picks)) {
            if (acceptFolder(folder))
                return Answer::FolderChosen;
        }
        return answer;
    }
    void showDownload(FileDownload &) override
    {
        log << QStringLiteral("download");
        if (duringDownload)
            duringDownload();
    }
    void downloadEnded() override { log << QStringLiteral("ended"); }
    void bringBack() override { log << QStringLiteral("back"); }
    void notify(Notice, const QString &title, const QString &text) override { log << title + QLatin1Char('|') + text; }
};

const QString startFailed = QStringLiteral("Ошибка|Не удалось запустить RageMP!\nПроверьте путь в настройках.");

class TestPlay final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void play_data();
    void play();
    void installer_data();
    void installer();

private:
    QString folder(const QString &name) const { return name.isEmpty() ? QString() : m_scratch->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_scratch;
    LauncherEnvironment m_env;
    QNetworkAccessManager m_manager;
    ScriptedPrompts m_prompts;
};

void TestPlay::init()
{
    m_scratch = std::make_unique<QTemporaryDir>();
    m_env = testEnvironment(m_scratch->path());
    m_env.neighbourClientFolder = folder(QStringLiteral("neighbour"));
    m_env.fixedClientFolders = {folder(u"fixed"_s)};
    m_prompts = ScriptedPrompts();
}

void TestPlay::play_data()
{
    QTest::addColumn<QString>("client"); // the folder that holds updater.exe
    QTest::addColumn<QString>("remembered"); // the folder remembered from earlier
    QTest::addColumn<QStringList>("picks"); // folders picked in the client-missing dialog
    QTest::addColumn<bool>("keyWritable");
    QTest::addColumn<QString>("started"); // where the client started; empty: it did not
    QTest::addColumn<QStringList>("prompts");

    const QStringList none, missing {u"missing"_s}, failed {startFailed};
    QTest::newRow("next to the launcher") << u"neighbour"_s << u"wrong"_s << none << true << u"neighbour"_s << none;
    QTest::newRow("remembered") << u"picked"_s << u"picked"_s << none << true << u"picked"_s << none;
    QTest::newRow("fixed place") << u"fixed"_s << QString() << none << true << u"fixed"_s << none;
    QTest::newRow("nowhere, cancelled") << QString() << QString() << none << true << QString() << missing;
    QTest::newRow("nowhere, a wrong folder picked, then the right one")
        << u"picked"_s << QString() << QStringList {u"wrong"_s, u"picked"_s} << true << u"picked"_s << missing;
    QTest::newRow("updater.exe that cannot start")
        << u"directory"_s << QString() << none << true << QString() << failed;
    QTest::newRow("client key that cannot be written")
        << u"neighbour"_s << QString() << none << false << QString() << failed;
}

void TestPlay::play()
{
    QFETCH(QString, client);
    QFETCH(QString, remembered);
    QFETCH(QStringList, picks);
    QFETCH(bool, keyWritable);
    QFETCH(QString, started);
    QFETCH(QStringList, prompts);

    const QString log = m_scratch->filePath(QStringLiteral("client.log"));
    if (client == QLatin1String("directory")) {
        m_env.neighbourClientFolder = folder(client);
        QDir().mkpath(folder(client) + QStringLiteral("/updater.exe"));
    } else if (!client.isEmpty()) {
        writeRecorder(folder(client) + QStringLiteral("/updater.exe"), log);
    }
    if (!keyWritable)
        QDir().mkpath(m_env.clientKeyLocation); // a folder where the file would go
    Platform::openSettings(m_env.settingsLocation)->setValue(QStringLiteral("ragempPath"), folder(remembered));
    for (QString &pick : picks)
        pick = folder(pick);
    m_prompts.picks = picks;

    {
        PlayFlow flow(m_env, &m_manager, m_prompts);
        flow.play();
        QCOMPARE(m_prompts.log, prompts);
    }
    const QString expectedFolder = folder(started.isEmpty() ? client : started);
    const auto key = Platform::openSettings(m_env.clientKeyLocation);
    const auto settings = Platform::openSettings(m_env.settingsLocation);
    if (!started.isEmpty()) {
        QTRY_COMPARE(readFile(log), (u"|"_s + QFileInfo(expectedFolder).canonicalFilePath() + u"\n"_s).toUtf8());
        QCOMPARE(key->value(QStringLiteral("launch2.ip")), QVariant(QStringLiteral("game.site.test")));
        QCOMPARE(key->value(QStringLiteral("launch2.port")), QVariant(QStringLiteral("22005")));
    }
    if (!client.isEmpty())
        QCOMPARE(settings->value(QStringLiteral("ragempPath")).toString(), expectedFolder);
    else
        QVERIFY(!QFile::exists(m_env.clientKeyLocation));
}

void TestPlay::installer_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<bool>("started");
    const QByteArray installer = "#!/bin/sh\necho \"$*|$(pwd -P)\" >> \"$0.log\"\n";
    QTest::newRow("saved and started") << installer
                                       << QStringLiteral("Установка|Сейчас запустится установщик RAGE Multiplayer.\n"
                                                         "После установки нажмите кнопку «Начать играть» снова.")
                                       << true;
    QTest::newRow("an installer that cannot start")
        << QByteArray("not a program") << QStringLiteral("Ошибка|Не удалось запустить установщик RAGE Multiplayer:\n")
        << false;
}

void TestPlay::installer()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, notice);
    QFETCH(bool, started);
    FixtureServer server;
    server.routes[QStringLiteral("/setup.exe")] = Route {200, body};
    m_env.clientInstallerUrl = server.url(QStringLiteral("/setup.exe"));
    m_prompts.answer = Answer::Download;
    PlayFlow flow(m_env, &m_manager, m_prompts);
    // Play again while the download runs: only its dialog comes back.
    m_prompts.duringDownload = [&flow] { flow.play(); };
    QSignalSpy finished(&flow.installerDownload(), &FileDownload::finished);
    flow.play();
    QVERIFY(finished.wait());
    QCOMPARE(m_prompts.log.mid(0, 4),
        (QStringList {
            QStringLiteral("missing"), QStringLiteral("download"), QStringLiteral("back"), QStringLiteral("ended")}));
    QVERIFY(m_prompts.log.at(4).startsWith(u"Установка|"_s));
    QCOMPARE(m_prompts.log.size(), started ? 5 : 6);
    QVERIFY(m_prompts.log.constLast().startsWith(notice));
    QCOMPARE(server.requests.size(), 1);
    const QString path = m_env.tempFolder + QStringLiteral("/RAGEMultiplayer_Setup.exe");
    QCOMPARE(readFile(path), body);
    if (started)
        QTRY_COMPARE(
            readFile(path + QStringLiteral(".log")), (u"|"_s + QDir::current().canonicalPath() + u"\n"_s).toUtf8());
}

QTEST_GUILESS_MAIN(TestPlay)
#include "tst_play.moc"
