// The self-update's road, from the version answer to the started installer: its
// signatures, the installer it picks, how unpacking fails, and installs that fail.
#include "config/platform.h"
#include "testsupport.h"
#include "ui/wording.h"
#include "update/updater.h"
#include "update/versioncompare.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
QByteArray updateSign(const QStringList &arguments) // runs the signing tool as a release manager does
{
    QProcess tool;
    tool.start(QStringLiteral(VELOR_UPDATESIGN), arguments);
    return tool.waitForFinished() ? tool.readAllStandardOutput() : QByteArray();
}
} // namespace

class TestUpdate final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void versionOrder_data();
    void versionOrder();
    void signatures_data();
    void signatures();
    void install_data();
    void install();
    void attempts_data();
    void attempts();

private:
    /// Serves an update of version with the files of the stage folder; "*" marks the installer.
    void serve(const QString &version, const QStringList &files);
    void watch(Updater &updater);
    std::unique_ptr<QTemporaryDir> m_scratch;
    std::unique_ptr<FixtureServer> m_server;
    QNetworkAccessManager m_manager;
    LauncherEnvironment m_env;
    QStringList m_reports; ///< of the updater, as "signal:argument"
    bool m_checked = false;
};

void TestUpdate::init()
{
    m_scratch = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<FixtureServer>();
    m_env = testEnvironment(m_scratch->path());
    m_env.apiBase = m_server->url();
    m_env.version = u"1.1.9"_s;
    m_env.quitApplication = [this] { m_reports << u"quit"_s; };
    m_reports.clear();
    m_checked = false;
}

void TestUpdate::serve(const QString &version, const QStringList &files)
{
    const QString stage = m_scratch->filePath(u"stage"_s);
    for (const QString &file : files) {
        if (file.endsWith(u'*'))
            writeRecorder(stage + u'/' + file.chopped(1));
        else
            writeFile(stage + u'/' + file, "x"); // would fail to start, if chosen
    }
    m_server->routes[u"/u.zip"_s] = Route(200, zipOf(stage));
    m_server->routes[u"/launcher/version"_s] = Route(200,
        u"{\"version\":\"%1\",\"download_url\":\"%2\"}"_s.arg(version, m_server->url(u"/u.zip"_s)).toUtf8());
}

void TestUpdate::watch(Updater &updater)
{
    const auto record = [this](const QString &name) {
        return [this, name](const QString &what = {}) { m_reports << name + u':' + what; };
    };
    connect(&updater, &Updater::upToDate, this, record(u"up to date"_s));
    connect(&updater, &Updater::updateStarted, this, record(u"started"_s));
    connect(&updater, &Updater::installing, this, [this] { m_reports << u"installing"_s; });
    connect(&updater, &Updater::updateGivenUp, this, record(u"given up"_s));
    const auto failed = [this](const Updater::Failure &failure) { m_reports << u"failed:"_s + Wording::updateFailure(failure); };
    connect(&updater, &Updater::checkFailed, this, failed);
    connect(&updater, &Updater::updateFailed, this, failed);
    // The updater reacts to the version answer before the manager reports it done.
    connect(&m_manager, &QNetworkAccessManager::finished, this,
        [this](QNetworkReply *reply) { m_checked |= reply->url().path() == u"/launcher/version"_s; });
}

void TestUpdate::versionOrder_data()
{
    QTest::addColumn<QString>("candidate");
    QTest::addColumn<QString>("current");
    QTest::addColumn<bool>("newer");
    QTest::newRow("1.10 after 1.9") << u"1.10"_s << u"1.9"_s << true;
    QTest::newRow("1.9 before 1.10") << u"1.9"_s << u"1.10"_s << false;
    QTest::newRow("1.2 is 1.2.0") << u"1.2"_s << u"1.2.0"_s << false;
    QTest::newRow("1.2.0 is 1.2") << u"1.2.0"_s << u"1.2"_s << false;
    QTest::newRow("a garbage part counts as 0") << u"1.2.x"_s << u"1.2.0"_s << false;
    QTest::newRow("anything after garbage") << u"1.2.1"_s << u"1.2.x"_s << true;
}

void TestUpdate::versionOrder()
{
    QFETCH(QString, candidate);
    QFETCH(QString, current);
    QFETCH(bool, newer);
    QCOMPARE(isNewerVersion(candidate, current), newer);
}

void TestUpdate::signatures_data()
{
    // Changed answers, and signatures cut or mangled, are the fuzzer's.
    QTest::addColumn<int>("signer"); // the launcher holds keys 0 and 1, not 2
    QTest::addColumn<QStringList>("edit"); // of the signed answer: what, and to what
    QTest::addColumn<QString>("report");
    const QString refused = u"failed:Неверные данные обновления"_s;
    QTest::newRow("signed by the first key") << 0 << QStringList() << u"started:1.2 installing quit"_s;
    QTest::newRow("signed by the second key") << 1 << QStringList() << u"started:1.2 installing quit"_s;
    QTest::newRow("signed by an unknown key") << 2 << QStringList() << refused;
    QTest::newRow("archive changed") << 0 << QStringList{u"u.zip"_s, u"v.zip"_s}
                                     << u"started:1.2 failed:Контрольная сумма обновления не совпадает"_s;
    QTest::newRow("no signature") << 0 << QStringList{u"\"signature\""_s, u"\"comment\""_s} << refused;
}

void TestUpdate::signatures()
{
    QFETCH(int, signer);
    QFETCH(QStringList, edit);
    QFETCH(QString, report);
    const QString keys = m_scratch->filePath(u"key"_s); // key0-2, made by the tool; the launcher holds the first two
    for (int i = 0; i < 3; ++i)
        m_env.updatePublicKeys << QByteArray::fromBase64(updateSign({u"keygen"_s, keys + QString::number(i)}));
    m_env.updatePublicKeys.removeLast();
    serve(u"1.2"_s, {u"sub/setup.exe*"_s});
    const QString zip = writeFile(m_scratch->filePath(u"u.zip"_s), m_server->routes[u"/u.zip"_s].body);
    m_server->routes[u"/v.zip"_s] = Route(200, readFile(zip) + "x"); // the archive changed after signing
    QString answer = QString::fromUtf8(
        updateSign({u"sign"_s, keys + QString::number(signer), zip, u"1.2"_s, m_server->url(u"/u.zip"_s)}));
    m_server->routes[u"/launcher/version"_s] = Route(200, answer.replace(edit.value(0), edit.value(1)).toUtf8());
    Updater updater(m_env, &m_manager);
    watch(updater);
    updater.checkForUpdates(false);
    QTRY_COMPARE(m_reports.join(u' '), report);
    QCOMPARE(m_server->requests.size(), report == u"failed:Неверные данные обновления"_s ? 1 : 2);
}

void TestUpdate::install_data()
{
    QTest::addColumn<QString>("unpack"); // a shell command of the archive and folder in place of unzip; empty: unzip
    QTest::addColumn<QStringList>("files"); // in the archive; "*": the installer to start
    QTest::addColumn<QString>("report"); // after "started:1.2 installing"
    const QStringList one{u"readme.txt"_s, u"sub/setup.exe*"_s};
    const QString unpackFailed = u"failed:Ошибка распаковки обновления"_s;
    QTest::newRow("the shallowest installer, then by path, in any case")
        << QString() << QStringList{u"A/setup.exe"_s, u"B.EXE*"_s, u"c.exe"_s, u"readme.txt"_s} << u"quit"_s;
    QTest::newRow("links are neither followed nor chosen")
        << u"unzip -q \"$0\" -d \"$1\" && ln -s ../outside/x.exe \"$1/l.exe\" && ln -s ../outside \"$1/d\""_s
        << QStringList{u"deep/er/real.exe*"_s} << u"quit"_s;
    QTest::newRow("no installer") << QString() << QStringList{u"readme.txt"_s} << u"failed:Инсталлер не найден в архиве"_s;
    QTest::newRow("unpacker crashes, exit code 0") << u"kill -SEGV $$"_s << one << unpackFailed;
    QTest::newRow("unpacker outlives its bound") << u"sleep 30"_s << one << unpackFailed;
    QTest::newRow("unpacker fails") << u"exec /nonexistent"_s << one << unpackFailed;
    QTest::newRow("installer that cannot start") << u"mkdir -p \"$1/x\" && echo no > \"$1/x/setup.exe\""_s << one
                                                 << u"failed:Не удалось запустить установщик обновления"_s;
}

void TestUpdate::install()
{
    QFETCH(QString, unpack);
    QFETCH(QStringList, files);
    QFETCH(QString, report);
    const QString folder = m_env.tempFolder + u"/VelorLauncher_Update"_s;
    serve(u"1.2"_s, files);
    writeRecorder(m_env.tempFolder + u"/outside/x.exe"_s); // where the links lead
    // Left by an earlier attempt: a stale installer, shallower than the new one,
    // and the folder itself a link whose target must survive.
    writeFile(m_scratch->filePath(u"kept/stale.exe"_s), "old");
    QFile::link(m_scratch->filePath(u"kept"_s), folder);
    m_env.unpackTimeoutMs = 300;
    Updater updater(m_env, &m_manager);
    if (!unpack.isEmpty()) {
        updater.setUnpackCommand([unpack](const QString &from, const QString &to) {
            return Platform::Command{u"sh"_s, {u"-c"_s, unpack, from, to}};
        });
    }
    watch(updater);
    updater.checkForUpdates(false);
    QTRY_COMPARE(m_reports.join(u' '), u"started:1.2 installing "_s + report);
    QCOMPARE(readFile(m_scratch->filePath(u"kept/stale.exe"_s)), QByteArray("old"));
    // The archive goes only once an installer is about to start.
    const bool kept = report.contains(u"распаковки"_s) || report.contains(u"Инсталлер"_s);
    QCOMPARE(QFile::exists(m_env.tempFolder + u"/VelorRP_Launcher_Update.zip"_s), kept);
    if (report == u"quit"_s)
        QTRY_COMPARE(recorded(folder + u'/' + files.filter(u"*"_s).constFirst().chopped(1)),
            u"/VERYSILENT /CLOSEAPPLICATIONS /RESTARTAPPLICATIONS|"_s + QDir::current().canonicalPath() + u"\n"_s);
    QCOMPARE(recorded(m_env.tempFolder + u"/outside/x.exe"_s), QString());
}

void TestUpdate::attempts_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("before"); // the attempt recorded: version, count, told
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("after");
    QTest::newRow("a first attempt") << u"1.1.9"_s << QString() << true << u"1.2.0"_s << u"started:1.2.0 installing quit"_s
                                     << u"1.2.0 1 false"_s;
    QTest::newRow("one failed: again") << u"1.1.9"_s << u"1.2.0 1 false"_s << true << u"1.2.0"_s
                                       << u"started:1.2.0 installing quit"_s << u"1.2.0 2 false"_s;
    QTest::newRow("two failed: said once") << u"1.1.9"_s << u"1.2.0 2 false"_s << true << u"1.2.0"_s
                                           << u"given up:1.2.0"_s << u"1.2.0 2 true"_s;
    QTest::newRow("two failed, said") << u"1.1.9"_s << u"1.2.0 2 true"_s << true << u"1.2.0"_s << QString() << u"1.2.0 2 true"_s;
    QTest::newRow("two failed, asked for") << u"1.1.9"_s << u"1.2.0 2 true"_s << false << u"1.2.0"_s << u"given up:1.2.0"_s
                                           << u"1.2.0 2 true"_s;
    QTest::newRow("a newer one than the failed one") << u"1.1.9"_s << u"1.2.0 2 true"_s << true << u"1.3.0"_s
                                                     << u"started:1.3.0 installing quit"_s << u"1.3.0 1 false"_s;
    QTest::newRow("the attempt went in") << u"1.2.0"_s << u"1.2.0 2 true"_s << true << u"1.2.0"_s << QString() << u"none"_s;
}

void TestUpdate::attempts()
{
    QFETCH(QString, current);
    QFETCH(QString, before);
    QFETCH(bool, silent);
    QFETCH(QString, answer);
    QFETCH(QString, report);
    QFETCH(QString, after);
    m_env.version = current;
    const auto settings = Platform::openSettings(m_env.settingsLocation);
    const QStringList recorded = before.split(u' ');
    if (!before.isEmpty()) {
        settings->setValue(u"updateAttempt/version"_s, recorded.at(0));
        settings->setValue(u"updateAttempt/count"_s, recorded.at(1).toInt());
        settings->setValue(u"updateAttempt/told"_s, recorded.at(2) == u"true"_s);
        settings->sync();
    }
    serve(answer, {u"setup.exe*"_s});
    Updater updater(m_env, &m_manager);
    watch(updater);
    updater.checkForUpdates(silent);
    QTRY_VERIFY(m_checked);
    QTRY_COMPARE(m_reports.join(u' '), report);
    const auto now = Platform::openSettings(m_env.settingsLocation);
    now->beginGroup(u"updateAttempt"_s);
    QStringList left;
    for (const QString &key : {u"version"_s, u"count"_s, u"told"_s})
        left << now->value(key).toString();
    QCOMPARE(now->childKeys().isEmpty() ? u"none"_s : left.join(u' '), after);
}

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
