#include "ui/language.h"

#include "config/platform.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSettings>
#include <QTranslator>

namespace {
const QString settingsKey = QStringLiteral("language");
const QString english = QStringLiteral("en");

// Each catalogue is loaded from the compiled-in ones the first time it is
// chosen, and then kept by the application.
QTranslator *loaded(const QString &name)
{
    return QCoreApplication::instance()->findChild<QTranslator *>(name, Qt::FindDirectChildrenOnly);
}
} // namespace

QString Language::stored(const QString &settingsLocation)
{
    const QString code = Platform::openSettings(settingsLocation)->value(settingsKey).toString();
    return code == english ? english : QStringLiteral("ru");
}

void Language::install(const QString &code)
{
    const QString launcher = QStringLiteral("velor_en");
    const QString toolkit = QStringLiteral("qtbase_ru");
    if (QTranslator *other = loaded(code == english ? toolkit : launcher))
        QCoreApplication::removeTranslator(other);
    const QString name = code == english ? launcher : toolkit;
    QTranslator *translator = loaded(name);
    if (!translator) {
        translator = new QTranslator(QCoreApplication::instance());
        translator->setObjectName(name);
        if (!translator->load(QStringLiteral(":/i18n/%1.qm").arg(name)))
            qWarning() << "translation not loaded:" << name;
    }
    // Installing one twice would list it twice.
    QCoreApplication::removeTranslator(translator);
    QCoreApplication::installTranslator(translator);
}

void Language::choose(const QString &settingsLocation, const QString &code)
{
    Platform::openSettings(settingsLocation)->setValue(settingsKey, code == english ? english : QStringLiteral("ru"));
    install(code);
}
