#include "app/downloadoutcome.h"

#include "app/downloadsink.h"

#include <QNetworkReply>

DownloadOutcome DownloadOutcome::conclude(QNetworkReply &reply, DownloadSink &sink, bool canceledByUser,
                                          int stallTimeoutMs)
{
    // A failed write aborts the reply, so the sink speaks first.
    if (sink.failed())
        return {Kind::SaveFailed, QString()};
    if (canceledByUser)
        return {Kind::Canceled, QString()};
    switch (reply.error()) {
    case QNetworkReply::NoError:
        break;
    case QNetworkReply::OperationCanceledError: {
        const int seconds = (qMax(stallTimeoutMs, 1) + 999) / 1000;
        return {Kind::Failed, QStringLiteral("Загрузка прервана: сервер не присылал данных %1 с.").arg(seconds)};
    }
    default:
        return {Kind::Failed, reply.errorString()};
    }
    switch (sink.commit()) {
    case DownloadSink::Result::Saved:
        return {Kind::Saved, QString()};
    case DownloadSink::Result::WriteFailed:
        return {Kind::SaveFailed, QString()};
    case DownloadSink::Result::Truncated:
        break;
    }
    return {Kind::Failed, QStringLiteral("Соединение оборвалось до конца файла.")};
}
