#include "app/platform.h"
#include "launchtestsupport.h"
#include "testenvironment.h"
#include "ui/mainwindow.h"

#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLocalSocket>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestGameLaunch final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsTheClient_data();
    void startsTheClient();
    void failedStartWarnsAndStillWrites_data();
    void failedStartWarnsAndStillWrites();
    void clientMissingDialog_data();
    void clientMissingDialog();
    void folderChooser_data();
    void folderChooser();
    void secondRequestDuringDialogOnlyRaisesIt_data();
    void secondRequestDuringDialogOnlyRaisesIt();

private:
    std::unique_ptr<MainWindow> makeWindow(const LauncherEnvironment &env);
    static void setRemembered(const QString &folder);
    static QString remembered();
    static QStringList visibleClientMissingDialogs();

    std::unique_ptr<QTemporaryDir> m_dir;
    LauncherEnvironment m_env;
    QString m_log;
};

namespace {
const QString warningText = QStringLiteral("Не удалось запустить RageMP!\nПроверьте путь в настройках.");
const QString wrongFolderText = QStringLiteral(
    "Файл updater.exe не найден в выбранной папке. Выберите папку с установленным RAGE Multiplayer.");

QString canonical(const QString &folder)
{
    return QFileInfo(folder).canonicalFilePath();
}

QString startLine(const QString &folder)
{
    return QStringLiteral("0\t\t") + canonical(folder);
}

QStringList clientValues()
{
    const std::unique_ptr<QSettings> key = Platform::openClientKey();
    QStringList values;
    for (const QString &name : {QStringLiteral("launch2.ip"), QStringLiteral("launch2.port")}) {
        if (key->contains(name))
            values << name + QLatin1Char('=') + key->value(name).toString();
    }
    return values;
}

QStringList clientKeyLines()
{
    QFile file(Platform::openClientKey()->fileName());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
} // namespace

void TestGameLaunch::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestGameLaunch::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_env = testEnvironment(m_dir->path());
    m_log = m_dir->filePath(QStringLiteral("client.log"));
    setRemembered(QString());
    QFile::remove(Platform::openClientKey()->fileName());
}

void TestGameLaunch::cleanup()
{
    m_dir.reset();
}

std::unique_ptr<MainWindow> TestGameLaunch::makeWindow(const LauncherEnvironment &env)
{
    auto window = std::make_unique<MainWindow>(env);
    window->show();
    return window;
}

void TestGameLaunch::setRemembered(const QString &folder)
{
    QSettings(QStringLiteral("VELOR RP"), QStringLiteral("Launcher")).setValue(QStringLiteral("ragempPath"), folder);
}

QString TestGameLaunch::remembered()
{
    return QSettings(QStringLiteral("VELOR RP"), QStringLiteral("Launcher")).value(QStringLiteral("ragempPath")).toString();
}

QStringList TestGameLaunch::visibleClientMissingDialogs()
{
    QStringList names;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->objectName() == QLatin1String("clientMissingDialog"))
            names << widget->objectName();
    }
    return names;
}

void TestGameLaunch::startsTheClient_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("button");
    const QString large = QStringLiteral("playButton");
    QTest::newRow("neighbour folder, large button") << QStringLiteral("neighbour") << large;
    QTest::newRow("remembered folder, sidebar button") << QStringLiteral("remembered") << QStringLiteral("sidebarPlayButton");
    QTest::newRow("fixed folder, remembered from now on") << QStringLiteral("fixed") << large;
    QTest::newRow("spaces, quotes and Cyrillic") << QStringLiteral("odd") << large;
}

void TestGameLaunch::startsTheClient()
{
    QFETCH(QString, place);
    QFETCH(QString, button);

    QString folder;
    if (place == QLatin1String("neighbour"))
        folder = m_env.neighbourClientFolder;
    else if (place == QLatin1String("fixed"))
        folder = m_env.fixedClientFolders.last();
    else if (place == QLatin1String("odd"))
        folder = m_dir->filePath(QStringLiteral("Мои игры/\"RAGE\" MP's $HOME/RAGEMP"));
    else
        folder = m_dir->filePath(QStringLiteral("remembered/RAGEMP"));
    QVERIFY(!writeClientScript(folder, m_log).isEmpty());
    if (place == QLatin1String("remembered") || place == QLatin1String("odd"))
        setRemembered(folder);
    // A stale remembered folder never gets in the way of a hit further on.
    if (place == QLatin1String("fixed"))
        setRemembered(m_dir->filePath(QStringLiteral("gone/RAGEMP")));

    auto window = makeWindow(m_env);
    ModalWatcher watcher;
    window->findChild<QPushButton *>(button)->click();

    QTRY_COMPARE(logLines(m_log), QStringList{startLine(folder)});
    QCOMPARE(watcher.boxes.size(), 0);
    QCOMPARE(clientValues(), (QStringList{QStringLiteral("launch2.ip=game.site.test"), QStringLiteral("launch2.port=22005")}));
    // Both are plain strings in the client's file.
    QVERIFY(clientKeyLines().contains(QStringLiteral("launch2.port=22005")));
    QVERIFY(clientKeyLines().contains(QStringLiteral("launch2.ip=game.site.test")));
    QCOMPARE(remembered(), folder);
    QVERIFY(window->isVisible());
}

void TestGameLaunch::failedStartWarnsAndStillWrites_data()
{
    QTest::addColumn<bool>("directory");
    QTest::newRow("updater.exe is not executable") << false;
    QTest::newRow("updater.exe is a directory") << true;
}

void TestGameLaunch::failedStartWarnsAndStillWrites()
{
    QFETCH(bool, directory);
    const QString folder = m_env.fixedClientFolders.first();
    if (directory)
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/updater.exe")));
    else
        QVERIFY(!writeFile(folder + QStringLiteral("/updater.exe"), "#!/bin/sh\nexit 0\n", false).isEmpty());

    auto window = makeWindow(m_env);
    ModalWatcher watcher;
    window->findChild<QPushButton *>(QStringLiteral("playButton"))->click();

    QCOMPARE(watcher.boxes.size(), 1);
    const ModalWatcher::Box box = watcher.boxes.first();
    QCOMPARE(box.title, QStringLiteral("Ошибка"));
    QCOMPARE(box.text, warningText);
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons.size(), 1);
    QCOMPARE(box.parent, window.get());
    QCOMPARE(clientValues(), (QStringList{QStringLiteral("launch2.ip=game.site.test"), QStringLiteral("launch2.port=22005")}));
    QCOMPARE(remembered(), folder);
}

void TestGameLaunch::clientMissingDialog_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("Отмена") << false;
    QTest::newRow("Escape") << true;
}

void TestGameLaunch::clientMissingDialog()
{
    QFETCH(bool, escape);
    auto window = makeWindow(m_env);

    struct Seen
    {
        QSize size;
        bool frameless = false;
        Qt::WindowModality modality = Qt::NonModal;
        QWidget *parent = nullptr;
        QStringList texts;
        bool errorHidden = false;
        QList<int> buttonLefts;
        int cancelRight = 0;
    } seen;
    ModalWatcher watcher;
    watcher.addStep([&seen, escape](QWidget *modal) {
        if (!modal || modal->objectName() != QLatin1String("clientMissingDialog"))
            return false;
        seen.size = modal->size();
        seen.frameless = modal->windowFlags().testFlag(Qt::FramelessWindowHint);
        seen.modality = modal->windowModality();
        seen.parent = modal->parentWidget();
        for (const char *name : {"clientMissingTitleLabel", "clientMissingDescriptionLabel"})
            seen.texts << modal->findChild<QLabel *>(QLatin1String(name))->text();
        seen.errorHidden = modal->findChild<QLabel *>(QStringLiteral("clientMissingErrorLabel"))->isHidden();
        for (const char *name : {"downloadClientButton", "chooseClientFolderButton", "cancelClientMissingButton"}) {
            auto *button = modal->findChild<QPushButton *>(QLatin1String(name));
            seen.texts << button->text();
            seen.buttonLefts << button->geometry().left();
            seen.cancelRight = button->geometry().right();
        }
        if (escape)
            ModalWatcher::keyLater(modal, Qt::Key_Escape);
        else
            ModalWatcher::clickLater(modal->findChild<QPushButton *>(QStringLiteral("cancelClientMissingButton")));
        return true;
    });
    window->findChild<QPushButton *>(QStringLiteral("playButton"))->click();

    QVERIFY(watcher.stepsDone());
    QCOMPARE(seen.size, QSize(440, 200));
    QVERIFY(seen.frameless);
    QCOMPARE(seen.modality, Qt::ApplicationModal);
    QCOMPARE(seen.parent, window.get());
    QCOMPARE(seen.texts, (QStringList{QStringLiteral("RAGE Multiplayer не найден"),
                                      QStringLiteral("Установите RAGE Multiplayer или укажите путь к уже установленной версии."),
                                      QStringLiteral("Скачать RageMP"), QStringLiteral("Указать путь..."),
                                      QStringLiteral("Отмена")}));
    QVERIFY(seen.errorHidden);
    // Download and path on the left, cancel alone at the right edge.
    QVERIFY(seen.buttonLefts.at(0) < seen.buttonLefts.at(1));
    QVERIFY(seen.buttonLefts.at(2) - seen.buttonLefts.at(1) > 100);
    QCOMPARE(seen.cancelRight, 440 - 24 - 1);

    QCOMPARE(visibleClientMissingDialogs(), QStringList());
    QCOMPARE(watcher.boxes.size(), 0);
    QCOMPARE(clientValues(), QStringList());
    QVERIFY(!QFile::exists(m_log));
}

void TestGameLaunch::folderChooser_data()
{
    QTest::addColumn<bool>("clientStarts");
    QTest::newRow("right folder launches") << true;
    QTest::newRow("right folder that cannot start warns") << false;
}

void TestGameLaunch::folderChooser()
{
    QFETCH(bool, clientStarts);
    const QString wrong = m_dir->filePath(QStringLiteral("wrong"));
    const QString right = m_dir->filePath(QStringLiteral("Выбранная папка/RAGEMP"));
    QVERIFY(QDir().mkpath(wrong));
    if (clientStarts)
        QVERIFY(!writeClientScript(right, m_log).isEmpty());
    else
        QVERIFY(!writeFile(right + QStringLiteral("/updater.exe"), "not a program", false).isEmpty());

    // The chooser is cancelled once, then given a wrong folder twice, then the right one.
    QStringList answers{QString(), wrong, wrong, right};
    QStringList calls;
    LauncherEnvironment env = m_env;
    env.pickFolder = [&answers, &calls](QWidget *parent, const QString &caption, const QString &startDir) {
        calls << parent->objectName() + QLatin1Char('|') + caption + QLatin1Char('|') + startDir;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    };
    auto window = makeWindow(env);

    QList<QPair<bool, QString>> labelAfterEachPick;
    ModalWatcher watcher;
    watcher.addStep([&labelAfterEachPick](QWidget *modal) {
        if (!modal || modal->objectName() != QLatin1String("clientMissingDialog"))
            return false;
        auto *path = modal->findChild<QPushButton *>(QStringLiteral("chooseClientFolderButton"));
        auto *error = modal->findChild<QLabel *>(QStringLiteral("clientMissingErrorLabel"));
        for (int i = 0; i < 3; ++i) {
            path->click();
            labelAfterEachPick.append({error->isVisible(), error->text()});
        }
        path->click();
        return true;
    });
    window->findChild<QPushButton *>(QStringLiteral("playButton"))->click();

    QVERIFY(watcher.stepsDone());
    const QString call = QStringLiteral("clientMissingDialog|Выберите папку RAGE Multiplayer|C:/");
    QCOMPARE(calls, (QStringList{call, call, call, call}));
    QCOMPARE(labelAfterEachPick.size(), 3);
    QCOMPARE(labelAfterEachPick.at(0), qMakePair(false, QString()));
    QCOMPARE(labelAfterEachPick.at(1), qMakePair(true, wrongFolderText));
    QCOMPARE(labelAfterEachPick.at(2), qMakePair(true, wrongFolderText));
    QCOMPARE(remembered(), right);
    QCOMPARE(visibleClientMissingDialogs(), QStringList());
    if (clientStarts) {
        QTRY_COMPARE(logLines(m_log), QStringList{startLine(right)});
        QCOMPARE(watcher.boxes.size(), 0);
    } else {
        // The second launch's failure is not swallowed.
        QCOMPARE(watcher.boxes.size(), 1);
        QCOMPARE(watcher.boxes.first().title, QStringLiteral("Ошибка"));
        QCOMPARE(watcher.boxes.first().text, warningText);
    }
    QCOMPARE(clientValues().size(), 2);
}

void TestGameLaunch::secondRequestDuringDialogOnlyRaisesIt_data()
{
    QTest::addColumn<bool>("forwarded");
    QTest::newRow("launch link") << false;
    QTest::newRow("link forwarded by a second start") << true;
}

void TestGameLaunch::secondRequestDuringDialogOnlyRaisesIt()
{
    QFETCH(bool, forwarded);
    LauncherEnvironment env = m_env;
    env.ipcServerName = QStringLiteral("VelorLaunchTest-%1").arg(QCoreApplication::applicationPid());
    auto window = makeWindow(env);

    QPointer<QWidget> first;
    bool requestHandled = false;
    QLocalSocket peer;
    connect(&peer, &QLocalSocket::disconnected, this, [&requestHandled] { requestHandled = true; });
    QWidget *activeAfter = nullptr;
    bool firstVisibleAfter = false;
    int dialogsAfter = 0;

    ModalWatcher watcher;
    watcher.addStep([&, forwarded](QWidget *modal) {
        if (!modal || modal->objectName() != QLatin1String("clientMissingDialog"))
            return false;
        first = modal;
        // The user looks elsewhere; the second request must bring the dialog back.
        window->activateWindow();
        if (forwarded) {
            peer.connectToServer(env.ipcServerName);
            peer.write("velorlauncher://connect/again");
        } else {
            QMetaObject::invokeMethod(window.get(), "handleUrlLaunch", Qt::QueuedConnection,
                                      Q_ARG(QString, QStringLiteral("velorlauncher://again")));
            // Posted after the link, so it runs once the link has been handled.
            QMetaObject::invokeMethod(this, [&requestHandled] { requestHandled = true; }, Qt::QueuedConnection);
        }
        return true;
    });
    watcher.addStep([&](QWidget *modal) {
        if (!requestHandled)
            return false;
        activeAfter = modal;
        firstVisibleAfter = first && first->isVisible();
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->objectName() == QLatin1String("clientMissingDialog")) {
                ++dialogsAfter;
                QMetaObject::invokeMethod(widget, "reject", Qt::QueuedConnection);
            }
        }
        return true;
    });
    window->findChild<QPushButton *>(QStringLiteral("playButton"))->click();

    QVERIFY(watcher.stepsDone());
    QCOMPARE(dialogsAfter, 1);
    QVERIFY(firstVisibleAfter);
    QCOMPARE(activeAfter, first.data());
    QCOMPARE(watcher.boxes.size(), 0);
    QCOMPARE(watcher.stuck, QStringList());
    QCOMPARE(visibleClientMissingDialogs(), QStringList());
}

QTEST_MAIN(TestGameLaunch)
#include "tst_gamelaunch.moc"
