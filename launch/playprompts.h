#pragma once

#include "net/filedownload.h"

#include <QString>
#include <functional>

/**
 * What the play action asks of the user, and tells them. The window answers
 * with dialogs and words; tests answer from a script. Every request returns at
 * once; what the user answers, or that they closed what they were told, comes
 * back later through the function handed in, once.
 */
class PlayPrompts
{
public:
    enum class ClientMissingAnswer { Download, FolderChosen, Cancel };
    enum class Notice {
        ClientStartFailed, ///< the client did not start, or could not be pointed at the server
        InstallerStarting, ///< the downloaded installer starts now; play again once it is done
        InstallerStartFailed, ///< the downloaded installer at the given path did not start
    };
    using Done = std::function<void()>;

    virtual ~PlayPrompts() = default;

    /**
     * Tells the user that no client was found and asks what to do. The user may
     * pick folders; each goes to acceptFolder, which keeps it and returns true
     * when it holds the client (the answer is then FolderChosen), or returns
     * false (the user is told so and may pick again).
     */
    virtual void clientMissing(std::function<bool(const QString &folder)> acceptFolder,
        std::function<void(ClientMissingAnswer answer)> answered)
        = 0;

    /// Shows the client installer's download with a way to cancel it, until
    /// downloadEnded(). The user may hide it meanwhile.
    virtual void showDownload(FileDownload &download) = 0;
    /// The download ended as outcome says; one that failed is reported.
    virtual void downloadEnded(const FileDownload::Outcome &outcome, Done dismissed) = 0;

    /// Brings back whichever of these is open.
    virtual void bringBack() = 0;

    virtual void notify(Notice notice, const QString &path, Done dismissed) = 0;
};
