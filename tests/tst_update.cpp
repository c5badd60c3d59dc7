#include "testsupport.h"
#include "update/updater.h"

#include <QtTest>

using namespace Qt::StringLiterals;

static QByteArray updateSign(const QStringList &arguments) // runs the signing tool as a release manager does
{
    QProcess tool;
    tool.start(QStringLiteral(VELOR_UPDATESIGN), arguments);
    return tool.waitForFinished() ? tool.readAllStandardOutput() : QByteArray();
}

class TestUpdate final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void archive_data();
    void archive();
    void install_data();
    void install();

private:
    QString reportOf(Updater &updater, const std::function<void()> &action);
    std::unique_ptr<QTemporaryDir> m_scratch;
    LauncherEnvironment m_env;
    QStringList m_reports;
};

void TestUpdate::init()
{
    m_scratch = std::make_unique<QTemporaryDir>();
    m_env = testEnvironment(m_scratch->path());
    m_env.quitApplication = [this] { m_reports << u"quit"_s; };
}

/// What the updater reports while action runs, as "signal:arguments", joined.
QString TestUpdate::reportOf(Updater &updater, const std::function<void()> &action)
{
    const auto record = [this](const QString &name) {
        return [this, name](const QString &what = {}) { m_reports << name + u':' + what; };
    };
    QObject context;
    connect(&updater, &Updater::updateAvailable, &context, record(u"update"_s));
    connect(&updater, &Updater::updateCheckFailed, &context, record(u"failed"_s));
    connect(&updater, &Updater::downloadFinished, &context, record(u"saved"_s));
    connect(&updater, &Updater::downloadFailed, &context, record(u"failed"_s));
    m_reports.clear();
    action();
    return QTest::qWaitFor([this] { return !m_reports.isEmpty(); }, 10000) ? m_reports.join(u',') : u"nothing"_s;
}

void TestUpdate::archive_data()
{
    // Changed answers, and signatures cut or mangled, are the fuzzer's.
    QTest::addColumn<int>("signer"); // the launcher holds keys 0 and 1, not 2
    QTest::addColumn<QString>("from"); // changed in the signed answer...
    QTest::addColumn<QString>("to"); // ...to this
    QTest::addColumn<QString>("report"); // of the check, the download and the installation (quit: started)
    const QString mismatch = u"failed:Контрольная сумма обновления не совпадает"_s;
    const QString installed = u"update:1.2 saved quit"_s, changed = u"update:1.2 "_s + mismatch + u' ' + mismatch;
    const QString refused = u"failed:Неверные данные обновления failed:Неверные данные обновления "_s + mismatch;
    QTest::newRow("signed by the first key") << 0 << QString() << QString() << installed;
    QTest::newRow("signed by the second key") << 1 << QString() << QString() << installed;
    QTest::newRow("signed by an unknown key") << 2 << QString() << QString() << refused;
    QTest::newRow("archive changed") << 0 << u"u\\.zip"_s << u"v.zip"_s << changed;
    QTest::newRow("no signature") << 0 << u"\"signature\""_s << u"\"comment\""_s << refused;
}

void TestUpdate::archive()
{
    QFETCH(int, signer);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, report);
    const QString keys = m_scratch->filePath(u"key"_s); // key0-2, made by the tool; the launcher holds the first two
    for (int i = 0; i < 3; ++i)
        m_env.updatePublicKeys << QByteArray::fromBase64(updateSign({u"keygen"_s, keys + QString::number(i)}));
    m_env.updatePublicKeys.removeLast();
    writeRecorder(m_scratch->filePath(u"stage/sub/setup.exe"_s));
    const QString zip = writeFile(m_scratch->filePath(u"u.zip"_s), zipOf(m_scratch->filePath(u"stage"_s)));
    FixtureServer server;
    server.routes[u"/u.zip"_s] = Route(200, readFile(zip));
    server.routes[u"/v.zip"_s] = Route(200, readFile(zip) + "x"); // the archive changed after signing
    QString answer = QString::fromUtf8(
        updateSign({u"sign"_s, keys + QString::number(signer), zip, u"1.2"_s, server.url(u"/u.zip"_s)}));
    server.routes[u"/launcher/version"_s] = Route(200, answer.replace(QRegularExpression(from), to).toUtf8());
    m_env.apiBase = server.url();
    Updater updater(m_env);
    const QString path = m_env.tempFolder + u"/VelorRP_Launcher_Update.zip"_s;
    const QStringList steps{reportOf(updater, [&] { updater.checkForUpdates(false); }),
        reportOf(updater, [&] { updater.downloadUpdate(updater.downloadUrl()); }),
        reportOf(updater, [&] { updater.installUpdate(path); })};
    QCOMPARE(steps.join(u' ').remove(u':' + path), report);
    QCOMPARE(server.requests.size(), report.startsWith(u"update"_s) ? 2 : 1); // refused: no archive fetched
}

void TestUpdate::install_data()
{
    QTest::addColumn<QString>("unpack"); // a shell command of the archive and folder in place of unzip; empty: unzip
    QTest::addColumn<QStringList>("files"); // in the archive; "*": the installer to start
    QTest::addColumn<QString>("report"); // "quit" once started, or what went wrong
    const QStringList one{u"readme.txt"_s, u"sub/setup.exe*"_s};
    const QString unpackFailed = u"failed:Ошибка распаковки обновления"_s;
    QTest::newRow("the shallowest installer, then by path, in any case")
        << QString() << QStringList{u"A/setup.exe"_s, u"B.EXE*"_s, u"c.exe"_s, u"readme.txt"_s} << u"quit"_s;
    QTest::newRow("links are neither followed nor chosen")
        << u"unzip -q \"$0\" -d \"$1\" && ln -s ../outside/x.exe \"$1/l.exe\" && ln -s ../outside \"$1/d\""_s
        << QStringList{u"deep/er/real.exe*"_s} << u"quit"_s;
    QTest::newRow("no installer") << QString() << QStringList{u"readme.txt"_s}
                                  << u"failed:Инсталлер не найден в архиве"_s;
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
    const QString stage = m_scratch->filePath(u"stage"_s);
    const QString folder = m_env.tempFolder + u"/VelorLauncher_Update"_s;
    QString installer;
    for (const QString &file : files) {
        if (file.endsWith(u'*'))
            writeRecorder(stage + u'/' + (installer = file.chopped(1)));
        else
            writeFile(stage + u'/' + file, "x"); // would fail to start, if chosen
    }
    writeRecorder(m_env.tempFolder + u"/outside/x.exe"_s); // where the links lead
    const QString zip = writeFile(m_env.tempFolder + u"/VelorRP_Launcher_Update.zip"_s, zipOf(stage));
    // Left by an earlier attempt: a stale installer, shallower than the new one,
    // and the folder itself a link whose target must survive.
    writeFile(m_scratch->filePath(u"kept/stale.exe"_s), "old");
    QFile::link(m_scratch->filePath(u"kept"_s), folder);
    m_env.unpackTimeoutMs = 300;
    Updater updater(m_env);
    if (!unpack.isEmpty()) {
        updater.setUnpackCommand([unpack](const QString &from, const QString &to) {
            return Platform::Command{u"sh"_s, {u"-c"_s, unpack, from, to}};
        });
    }
    QCOMPARE(reportOf(updater, [&] { updater.installUpdate(zip); }), report);
    QCOMPARE(readFile(m_scratch->filePath(u"kept/stale.exe"_s)), QByteArray("old"));
    // The archive goes only once an installer is about to start.
    QCOMPARE(QFile::exists(zip), report.contains(u"распаковки"_s) || report.contains(u"Инсталлер"_s));
    if (report == u"quit"_s)
        QTRY_COMPARE(recorded(folder + u'/' + installer),
            u"/VERYSILENT /CLOSEAPPLICATIONS /RESTARTAPPLICATIONS|"_s + QDir::current().canonicalPath() + u"\n"_s);
    QCOMPARE(recorded(m_env.tempFolder + u"/outside/x.exe"_s), QString());
}

QTEST_GUILESS_MAIN(TestUpdate)
#include "tst_update.moc"
