#include "ui/language.h"

#include "config/platform.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSettings>
#include <QTranslator>

namespace {
const QString settingsKey = QStringLiteral("language");
const QString english = QStringLiteral("en");

// Loaded once per application from the compiled-in catalogues, and owned by it.
QTranslator *translator(const QString &name)
{
    QCoreApplication *app = QCoreApplication::instance();
    auto *translator = app->findChild<QTranslator *>(name, Qt::FindDirectChildrenOnly);
    if (translator)
        return translator;
    translator = new QTranslator(app);
    translator->setObjectName(name);
    if (!translator->load(QStringLiteral(":/i18n/%1.qm").arg(name)))
        qWarning() << "translation not loaded:" << name;
    return translator;
}
} // namespace

QString Language::stored(const QString &settingsLocation)
{
    const QString code = Platform::openSettings(settingsLocation)->value(settingsKey).toString();
    return code == english ? english : QStringLiteral("ru");
}

void Language::install(const QString &code)
{
    QTranslator *launcher = translator(QStringLiteral("velor_en"));
    QTranslator *toolkit = translator(QStringLiteral("qtbase_ru"));
    // Both go first: installing one twice would list it twice.
    QCoreApplication::removeTranslator(launcher);
    QCoreApplication::removeTranslator(toolkit);
    QCoreApplication::installTranslator(code == english ? launcher : toolkit);
}

void Language::choose(const QString &settingsLocation, const QString &code)
{
    Platform::openSettings(settingsLocation)->setValue(settingsKey, code == english ? english : QStringLiteral("ru"));
    install(code);
}
