#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QUrl;

/**
 * What the launcher reads from the "/launcher/version" answer: a JSON object
 * with the strings "version", "download_url" and, optionally, "changelog",
 * "sha256" (the hex SHA-256 of the archive) and "signature" (the base64 Ed25519
 * signature of "velor-launcher-update\n<version>\n<sha256, lowercase hex>\n").
 * Keys of another type read as empty strings.
 */
struct VersionAnswer final
{
    enum class Verdict {
        Usable, ///< names a version and an archive the launcher may fetch
        NotAnObject, ///< not a JSON object; no field below is set
        InvalidData, ///< an object, but a required field is missing or unsafe
    };

    Verdict verdict = Verdict::NotAnObject;
    QString version;
    QString downloadUrl;
    QString changelog;
    QByteArray sha256; ///< the 32 digest bytes; empty when the answer gives none

    /// Reads an answer body. An "sha256" that is present but is not 64 hex
    /// digits (an empty string or null counts as absent) makes the data invalid.
    /// With public keys given, so does an answer whose "signature" none of them
    /// made over its version and digest (an answer without a digest included).
    static VersionAnswer parse(const QByteArray &body, const QList<QByteArray> &publicKeys = {});

    /// Whether the archive may be fetched from url: https on any host, plain
    /// http only on a loopback host, where no one else can answer.
    static bool isTrustedArchiveUrl(const QUrl &url);
};
