#pragma once

#include "net/filedownload.h"

#include <QString>
#include <functional>

/// What the play action asks of the user, and tells them. The window answers
/// with dialogs and words; tests answer from a script.
class PlayPrompts
{
public:
    enum class ClientMissingAnswer { Download, FolderChosen, Cancel };
    enum class Notice {
        ClientStartFailed, ///< the client did not start, or could not be pointed at the server
        InstallerStarting, ///< the downloaded installer starts now; play again once it is done
        InstallerStartFailed, ///< the downloaded installer at the given path did not start
    };

    virtual ~PlayPrompts() = default;

    /**
     * Tells the user that no client was found and asks what to do. The user may
     * pick folders; each goes to acceptFolder, which keeps it and returns true
     * when it holds the client (the answer is then FolderChosen), or returns
     * false (the user is told so and may pick again).
     */
    virtual ClientMissingAnswer clientMissing(const std::function<bool(const QString &folder)> &acceptFolder) = 0;

    /// Shows the client installer's download with a way to cancel it, until
    /// downloadEnded(). May return before that, when the user hides it.
    virtual void showDownload(FileDownload &download) = 0;
    /// The download ended as outcome says; one that failed is reported.
    virtual void downloadEnded(const FileDownload::Outcome &outcome) = 0;

    /// Brings back whichever of the above is open.
    virtual void bringBack() = 0;

    virtual void notify(Notice notice, const QString &path = QString()) = 0;
};
