// The self-update's road, from the version answer to the started installer: its
// signatures, the installer it picks, how unpacking fails, and installs that fail.
#include "config/platform.h"
#include "testsupport.h"
#include "update/startrecord.h"
#include "update/updater.h"
#include "update/versioncompare.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtTest>

namespace {
QByteArray updateSign(const QStringList &arguments) // runs the signing tool as a release manager does
{
    QProcess tool;
    tool.start(VELOR_UPDATESIGN, arguments);
    return tool.waitForFinished() ? tool.readAllStandardOutput() : QByteArray();
}

/// A short name for each kind of failure, in the order Updater::Failure::Kind lists them.
const char *const failureNames[] = {"unreachable", "truncated", "bad format", "bad data", "download", "not saved",
    "checksum", "not unpacked", "no installer", "not started", "not recorded"};
static_assert(std::size(failureNames) == int(Updater::Failure::Kind::NotRecorded) + 1);
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
    void unsignedAnswerNamingThisVersion();
    void install_data();
    void install();
    void checkAgain_data();
    void checkAgain();
    void failedAttempts();
    void rollBack();
    void nowhereToSaveItSaidAfterTheStart();

private:
    /// Serves an update of version whose archive holds files and the installer, one that records its start.
    void serve(const QString &version, const QString &installer, const QStringList &files = {});
    void watch(Updater &updater);
    std::unique_ptr<QTemporaryDir> m_scratch;
    std::unique_ptr<FixtureServer> m_server;
    QNetworkAccessManager m_manager;
    LauncherEnvironment m_env;
    QStringList m_reports; ///< of the updater, as "signal:argument", a failure by the name of its kind
    bool m_checked = false;
};

void TestUpdate::init()
{
    m_scratch = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<FixtureServer>();
    m_env = testEnvironment(m_scratch->path());
    m_env.apiBase = m_server->url();
    m_env.version = "1.1.9";
    m_env.quitApplication = [this] { m_reports << "quit"; };
    m_reports.clear();
    m_checked = false;
}

void TestUpdate::serve(const QString &version, const QString &installer, const QStringList &files)
{
    const QString stage = m_scratch->filePath("stage");
    if (!installer.isEmpty())
        writeRecorder(stage + u'/' + installer);
    for (const QString &file : files)
        writeFile(stage + u'/' + file, "x"); // would fail to start, if chosen
    const QByteArray zip = zipOf(stage);
    const QByteArray sha256 = QCryptographicHash::hash(zip, QCryptographicHash::Sha256).toHex();
    m_server->routes["/u.zip"] = Route{200, zip};
    m_server->routes["/launcher/version"] = Route{200,
        QString("{\"version\":\"%1\",\"download_url\":\"%2\",\"sha256\":\"%3\"}")
            .arg(version, m_server->url("/u.zip"), QLatin1String(sha256))
            .toUtf8()};
}

void TestUpdate::watch(Updater &updater)
{
    const auto record = [this](const QString &name) {
        return [this, name](const QString &what = {}) { m_reports << name + u':' + what; };
    };
    connect(&updater, &Updater::updateStarted, this, record("started"));
    connect(&updater, &Updater::installing, this, [this] { m_reports << "installing"; });
    connect(&updater, &Updater::updateGivenUp, this, record("given up"));
    connect(&updater, &Updater::upToDate, this, record("up to date"));
    const auto failed = [this](const Updater::Failure &failure) {
        m_reports << "failed:" + QString::fromLatin1(failureNames[int(failure.kind)]);
    };
    connect(&updater, &Updater::checkFailed, this, failed);
    connect(&updater, &Updater::updateFailed, this, failed);
    // The updater reacts to the version answer before the manager reports it done.
    connect(&m_manager, &QNetworkAccessManager::finished, this,
        [this](QNetworkReply *reply) { m_checked |= reply->url().path() == "/launcher/version"; });
}

void TestUpdate::versionOrder_data()
{
    QTest::addColumn<QString>("candidate");
    QTest::addColumn<QString>("current");
    QTest::addColumn<bool>("newer");
    QTest::newRow("1.10 after 1.9") << "1.10"
                                    << "1.9" << true;
    QTest::newRow("1.2 is 1.2.0") << "1.2"
                                  << "1.2.0" << false;
    QTest::newRow("a garbage part counts as 0") << "1.2.x"
                                                << "1.2.0" << false;
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
    // Changed answers, and signatures cut, mangled or left out, are the fuzzer's.
    QTest::addColumn<int>("signer"); // the launcher holds keys 0 and 1, not 2
    QTest::addColumn<bool>("changed"); // the archive, after it was signed
    QTest::addColumn<QString>("report");
    QTest::addColumn<int>("requests"); // the version answer, and the archive once it is trusted
    const QString installed = "started:1.2 installing quit";
    QTest::newRow("signed by the first key") << 0 << false << installed << 2;
    QTest::newRow("signed by the second key") << 1 << false << installed << 2;
    QTest::newRow("signed by an unknown key") << 2 << false << "failed:bad data" << 1;
    QTest::newRow("archive changed") << 0 << true << "started:1.2 failed:checksum" << 2;
}

void TestUpdate::signatures()
{
    QFETCH(int, signer);
    QFETCH(bool, changed);
    QFETCH(QString, report);
    QFETCH(int, requests);
    const QString keys = m_scratch->filePath("key"); // key0-2, made by the tool; the launcher holds the first two
    for (int i = 0; i < 3; ++i)
        m_env.updatePublicKeys << QByteArray::fromBase64(updateSign({"keygen", keys + QString::number(i)}));
    m_env.updatePublicKeys.removeLast();
    serve("1.2", "sub/setup.exe");
    const QString zip = writeFile(m_scratch->filePath("u.zip"), m_server->routes["/u.zip"].body);
    const QString key = keys + QString::number(signer);
    m_server->routes["/launcher/version"] = Route{200, updateSign({"sign", key, zip, "1.2", m_server->url("/u.zip")})};
    m_server->routes["/u.zip"].body += changed ? "x" : "";
    Updater updater(m_env, &m_manager);
    watch(updater);
    updater.checkForUpdates(false);
    QTRY_COMPARE(m_reports.join(u' '), report);
    QCOMPARE(m_server->requests.size(), requests);
}

void TestUpdate::unsignedAnswerNamingThisVersion()
{
    m_env.updatePublicKeys << QByteArray(32, 'k');
    m_server->routes["/launcher/version"] = Route{200, R"({"version":"1.1.9"})"};
    Updater updater(m_env, &m_manager);
    watch(updater);
    updater.checkForUpdates(false);
    QTRY_COMPARE(m_reports, QStringList{"up to date:1.1.9"});
}

void TestUpdate::install_data()
{
    QTest::addColumn<QString>("unpack"); // a shell command of the archive and folder in place of unzip; empty: unzip
    QTest::addColumn<QString>("installer"); // in the archive, the one to start
    QTest::addColumn<QStringList>("files"); // beside it in the archive
    QTest::addColumn<bool>("closed"); // the window closes while it unpacks
    QTest::addColumn<QString>("report"); // after "started:1.2 installing"
    QTest::addColumn<bool>("starts"); // the installer
    const QStringList readme{"readme.txt"};
    QTest::newRow("the shallowest installer, then by path, in any case")
        << ""
        << "B.EXE" << QStringList{"A/setup.exe", "c.exe", "readme.txt"} << false << "quit" << true;
    QTest::newRow("links are neither followed nor chosen")
        << "unzip -q \"$0\" -d \"$1\" && ln -s ../../outside/x.exe \"$1/l.exe\" && ln -s ../../outside \"$1/d\""
        << "deep/er/real.exe" << QStringList() << false << "quit" << true;
    QTest::newRow("no installer") << ""
                                  << "" << readme << false << "failed:no installer" << false;
    QTest::newRow("from and into a fresh folder of the player's own")
        << "[ ! -e \"$1\" ] && [ \"${0%/*}\" = \"${1%/*}\" ] && [ $(stat -c %a \"$(dirname \"$1\")\") = 700 ] && unzip "
           "-q \"$0\" -d \"$1\""
        << "sub/setup.exe" << readme << false << "quit" << true;
    QTest::newRow("unpacker outlives its bound")
        << "sleep 30"
        << "sub/setup.exe" << readme << false << "failed:not unpacked" << false;
    QTest::newRow("window closed while it unpacks") << "sleep 30"
                                                    << "sub/setup.exe" << readme << true << "" << false;
    QTest::newRow("installer that cannot start") << "mkdir -p \"$1/x\" && echo no > \"$1/x/setup.exe\""
                                                 << "sub/setup.exe" << readme << false << "failed:not started" << false;
}

void TestUpdate::install()
{
    QFETCH(QString, unpack);
    QFETCH(QString, installer);
    QFETCH(QStringList, files);
    QFETCH(bool, closed);
    QFETCH(QString, report);
    QFETCH(bool, starts);
    serve("1.2", installer, files);
    writeRecorder(m_env.tempFolder + "/outside/x.exe"); // where the links lead
    m_env.unpackTimeoutMs = closed ? 60000 : 300;
    auto updater = std::make_unique<Updater>(m_env, &m_manager);
    if (!unpack.isEmpty()) {
        updater->setUnpackCommand([unpack](const QString &from, const QString &to) {
            return UnpackCommand{"sh", {"-c", unpack, from, to}};
        });
    }
    watch(*updater);
    updater->checkForUpdates(false);
    if (closed) {
        QTRY_COMPARE(m_reports.join(u' '), "started:1.2 installing");
        updater.reset();
    }
    QTRY_COMPARE(m_reports.join(u' '), ("started:1.2 installing " + report).trimmed());
    const QStringList left = QDir(m_env.tempFolder).entryList({"VelorLauncher_Update-*"});
    const QString arguments = "/VERYSILENT /CLOSEAPPLICATIONS /RESTARTAPPLICATIONS|" + QDir::current().canonicalPath();
    QTRY_COMPARE(recorded(m_env.tempFolder + u'/' + left.value(0) + "/files/" + installer),
        starts ? arguments + "\n" : QString());
    QCOMPARE(recorded(m_env.tempFolder + "/outside/x.exe"), QString());
}

void TestUpdate::checkAgain_data()
{
    QTest::addColumn<Updater::State>("state"); // where the player asks again, and once more as it quits
    QTest::newRow("checking") << Updater::State::Checking;
    QTest::newRow("downloading") << Updater::State::Downloading;
    QTest::newRow("unpacking") << Updater::State::Unpacking;
}

void TestUpdate::checkAgain()
{
    QFETCH(Updater::State, state);
    serve("1.2", "setup.exe");
    QList<Updater::State> seen; // before and after each check asked for again
    std::unique_ptr<Updater> updater;
    const auto again = [&seen, &updater] {
        seen << updater->state();
        updater->checkForUpdates(false);
        seen << updater->state();
    };
    m_env.quitApplication = [this, again] {
        m_reports << "quit";
        again();
    };
    updater = std::make_unique<Updater>(m_env, &m_manager);
    watch(*updater);
    // Queued, as a click would be: the state the signal announces is entered by then.
    if (state == Updater::State::Downloading)
        connect(updater.get(), &Updater::updateStarted, this, again, Qt::QueuedConnection);
    if (state == Updater::State::Unpacking)
        connect(updater.get(), &Updater::installing, this, again, Qt::QueuedConnection);
    updater->checkForUpdates(true);
    if (state == Updater::State::Checking)
        again();
    QTRY_COMPARE(m_reports.join(u' '), "started:1.2 installing quit");
    const auto started = Updater::State::InstallerStarted;
    QCOMPARE(seen, QList<Updater::State>({state, state, started, started}));
    QCOMPARE(m_server->requests, QStringList({"/launcher/version", "/u.zip"}));
}

void TestUpdate::failedAttempts()
{
    // Whatever installer it starts, the launcher stays 1.1.9: each start of the next counts as failed.
    serve("1.2", "setup.exe");
    const auto first = m_server->routes;
    serve("1.2", "setup.exe", {"mended.txt"});
    const auto mended = m_server->routes;
    const QString installs = "started:1.2 installing quit";
    // The fifth check is the player's own; the last cannot record its attempt.
    const QStringList said{
        installs, installs, "given up:1.2", "", installs, installs, "started:1.2 installing failed:not recorded"};
    for (int start = 0; start < said.size(); ++start) {
        m_server->routes = start < 5 ? first : mended;
        if (start == 6)
            m_env.settingsLocation = writeFile(m_scratch->filePath("file"), "x") + "/Launcher.conf";
        Updater updater(m_env, &m_manager);
        watch(updater);
        m_reports.clear();
        m_checked = false;
        updater.checkForUpdates(start != 4);
        QTRY_VERIFY(m_checked);
        QTRY_COMPARE(m_reports.join(u' '), said.at(start));
    }
}

void TestUpdate::rollBack()
{
    serve("1.2", "setup.exe");
    auto updater = std::make_unique<Updater>(m_env, &m_manager);
    watch(*updater);
    updater->checkForUpdates(true);
    QTRY_COMPARE(m_reports.join(u' '), "started:1.2 installing quit");
    LauncherEnvironment next = m_env;
    next.version = "1.2";
    next.executable = writeFile(m_scratch->filePath("VelorLauncher"), "1.2");
    next.previousExecutable = writeFile(m_scratch->filePath("VelorLauncher.previous"), "1.1.9");
    // The first start of 1.2 gets there, the next two do not: the one after them goes back.
    QString verdicts;
    for (int start = 0; start < 4; ++start) {
        verdicts += StartRecord::begin(next) ? u'^' : u'.';
        if (start == 0)
            StartRecord::settle(next);
    }
    QCOMPARE(verdicts, "...^");
    QVERIFY(StartRecord::rollBack(next));
    QCOMPARE(readFile(next.executable), "1.1.9");
    updater = std::make_unique<Updater>(m_env, &m_manager); // 1.1.9, back
    watch(*updater);
    updater->checkForUpdates(true);
    QTRY_COMPARE(m_reports.join(u' '), "started:1.2 installing quit given up:1.2");
}

void TestUpdate::nowhereToSaveItSaidAfterTheStart()
{
    // Whoever shows the progress of the start must be ready for the failure.
    serve("1.2", "setup.exe");
    m_env.tempFolder = writeFile(m_scratch->filePath("file"), "x");
    Updater updater(m_env, &m_manager);
    watch(updater);
    updater.checkForUpdates(true);
    QTRY_COMPARE(m_reports.join(u' '), "started:1.2 failed:not saved");
}

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
