#pragma once

#include <QString>

class DownloadSink;
class QNetworkReply;

/// How a download that was streamed into a DownloadSink ended.
struct DownloadOutcome final
{
    enum class Kind {
        Saved,      ///< the whole body is in place under its final name
        SaveFailed, ///< the file could not be written or put in place
        Canceled,   ///< the user cancelled; nothing to report
        Failed,     ///< network, HTTP or transfer failure; reason says which
    };

    Kind kind = Kind::Failed;
    QString reason; ///< for Failed: the cause, ready to show to the user

    /**
     * Judges a finished reply and, when its body arrived whole and without
     * error, commits the sink so the file takes its final name. Qt reports the
     * transfer time-out with the same error as a cancel, so canceledByUser
     * tells them apart; stallTimeoutMs only words the time-out's reason.
     */
    static DownloadOutcome conclude(QNetworkReply &reply, DownloadSink &sink, bool canceledByUser, int stallTimeoutMs);
};
