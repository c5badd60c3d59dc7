#include "ui/wording.h"

#include <QLocale>

namespace {
constexpr qint64 mebibyte = 1048576;

QLocale russian()
{
    return QLocale(QLocale::Russian, QLocale::AnyScript, QLocale::AnyTerritory);
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
    return russian().toString(total);
}

QString Wording::downloadFailure(const FileDownload::Outcome &outcome)
{
    switch (outcome.kind) {
    case FileDownload::Outcome::Kind::Stalled:
        return QStringLiteral("Загрузка прервана: сервер не присылал данных %1 с.").arg(outcome.stallSeconds);
    case FileDownload::Outcome::Kind::Cut:
        return QStringLiteral("Соединение оборвалось до конца файла.");
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
        return QStringLiteral("Соединение оборвалось до конца ответа.");
    case Kind::BadFormat:
        return QStringLiteral("Неверный формат ответа сервера");
    case Kind::BadData:
        return QStringLiteral("Неверные данные обновления");
    case Kind::Download:
        return downloadFailure(failure.download);
    case Kind::SaveFailed:
        return QStringLiteral("Не удалось сохранить файл обновления");
    case Kind::Checksum:
        return QStringLiteral("Контрольная сумма обновления не совпадает");
    case Kind::UnpackFailed:
        return QStringLiteral("Ошибка распаковки обновления");
    case Kind::NoInstaller:
        return QStringLiteral("Инсталлер не найден в архиве");
    case Kind::NotRecorded:
        return QStringLiteral("Не удалось сохранить сведения об обновлении");
    case Kind::StartFailed:
        break;
    }
    return QStringLiteral("Не удалось запустить установщик обновления");
}

QString Wording::checkFailure(const Updater::Failure &failure)
{
    using Kind = Updater::Failure::Kind;
    if (failure.kind == Kind::Unreachable || failure.kind == Kind::Truncated)
        return QStringLiteral("Не удалось связаться с сервером обновлений. Проверьте подключение к интернету.");
    return QStringLiteral("Сервер обновлений ответил непонятно. Попробуйте позже.");
}

QString Wording::downloadProgress(qint64 received, qint64 total, double bytesPerSecond)
{
    QString text = QStringLiteral("Скачивание... %1 МБ / %2 МБ").arg(received / mebibyte).arg(total / mebibyte);
    if (bytesPerSecond <= 0)
        return text;
    if (bytesPerSecond < mebibyte)
        text += QStringLiteral(" · %1 КБ/с").arg(qRound64(bytesPerSecond / 1024));
    else
        text += QStringLiteral(" · %1 МБ/с").arg(russian().toString(bytesPerSecond / mebibyte, 'f', 1));
    return text + QStringLiteral(" · ещё ") + duration(qint64((total - received) / bytesPerSecond + 0.5));
}
