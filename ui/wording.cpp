#include "ui/wording.h"

#include <QCoreApplication>
#include <QLocale>

namespace {
constexpr qint64 mebibyte = 1048576;

// Numbers are written the way of the language the launcher speaks; its
// translation names that language's locale.
QLocale numbers()
{
    return QLocale(QCoreApplication::translate("Wording", "ru_RU", "the locale numbers are written in"));
}

QString duration(qint64 seconds)
{
    const QString minutesAndSeconds
        = QStringLiteral("%1:%2").arg(seconds / 60 % 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return seconds < 3600 ? minutesAndSeconds
                          : QStringLiteral("%1:%2").arg(seconds / 3600).arg(minutesAndSeconds.rightJustified(5, u'0'));
}
} // namespace

QString Wording::onlineCount(int total)
{
    return numbers().toString(total);
}

QString Wording::downloadFailure(const FileDownload::Outcome &outcome)
{
    switch (outcome.kind) {
    case FileDownload::Outcome::Kind::Stalled:
        return QCoreApplication::translate("Wording", "Загрузка прервана: сервер не присылал данных %1 с.")
            .arg(outcome.stallSeconds);
    case FileDownload::Outcome::Kind::Cut:
        return QCoreApplication::translate("Wording", "Соединение оборвалось до конца файла.");
    default:
        return outcome.networkError;
    }
}

QString Wording::updateFailure(const Updater::Failure &failure)
{
    using Kind = Updater::Failure::Kind;
    switch (failure.kind) {
    case Kind::Unreachable:
        return failure.networkError;
    case Kind::Truncated:
        return QCoreApplication::translate("Wording", "Соединение оборвалось до конца ответа.");
    case Kind::BadFormat:
        return QCoreApplication::translate("Wording", "Неверный формат ответа сервера");
    case Kind::BadData:
        return QCoreApplication::translate("Wording", "Неверные данные обновления");
    case Kind::Download:
        return downloadFailure(failure.download);
    case Kind::SaveFailed:
        return QCoreApplication::translate("Wording", "Не удалось сохранить файл обновления");
    case Kind::Checksum:
        return QCoreApplication::translate("Wording", "Контрольная сумма обновления не совпадает");
    case Kind::UnpackFailed:
        return QCoreApplication::translate("Wording", "Ошибка распаковки обновления");
    case Kind::NoInstaller:
        return QCoreApplication::translate("Wording", "Инсталлер не найден в архиве");
    case Kind::NotRecorded:
        return QCoreApplication::translate("Wording", "Не удалось сохранить сведения об обновлении");
    case Kind::StartFailed:
        break;
    }
    return QCoreApplication::translate("Wording", "Не удалось запустить установщик обновления");
}

QString Wording::checkFailure(const Updater::Failure &failure)
{
    using Kind = Updater::Failure::Kind;
    if (failure.kind == Kind::Unreachable || failure.kind == Kind::Truncated)
        return QCoreApplication::translate(
            "Wording", "Не удалось связаться с сервером обновлений. Проверьте подключение к интернету.");
    return QCoreApplication::translate("Wording", "Сервер обновлений ответил непонятно. Попробуйте позже.");
}

QString Wording::downloadProgress(qint64 received, qint64 total, double bytesPerSecond)
{
    const QString text = QCoreApplication::translate("Wording", "Скачивание... %1 МБ / %2 МБ")
                             .arg(received / mebibyte)
                             .arg(total / mebibyte);
    if (bytesPerSecond <= 0)
        return text;
    const QString speed = bytesPerSecond < mebibyte
        ? QCoreApplication::translate("Wording", "%1 КБ/с").arg(qRound64(bytesPerSecond / 1024))
        : QCoreApplication::translate("Wording", "%1 МБ/с").arg(numbers().toString(bytesPerSecond / mebibyte, 'f', 1));
    const QString left = duration(qint64((total - received) / bytesPerSecond + 0.5));
    return QCoreApplication::translate("Wording", "%1 · %2 · ещё %3", "progress, speed, time left")
        .arg(text, speed, left);
}
