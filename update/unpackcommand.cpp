#include "update/unpackcommand.h"

#include "config/platform.h"

namespace {
// Quotes text as a PowerShell single-quoted string literal.
QString powerShellQuote(const QString &text)
{
    // PowerShell ends a single-quoted string at any of these five characters and
    // reads two of them in a row as one literal quote, so each is doubled.
    static const QString quotes = QStringLiteral("'\u2018\u2019\u201A\u201B");
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted += QLatin1Char('\'');
    for (const QChar c : text) {
        quoted += c;
        if (quotes.contains(c))
            quoted += c;
    }
    quoted += QLatin1Char('\'');
    return quoted;
}
} // namespace

QString UnpackCommand::expandArchive(const QString &zipPath, const QString &folder)
{
    // -LiteralPath: a folder name with [brackets] must not be read as a wildcard.
    return QStringLiteral("Expand-Archive -LiteralPath %1 -DestinationPath %2 -Force")
        .arg(powerShellQuote(zipPath), powerShellQuote(folder));
}

UnpackCommand UnpackCommand::forSystem(const QString &zipPath, const QString &folder)
{
    const Platform::ZipUnpacker unpacker = Platform::zipUnpacker();
    switch (unpacker.kind) {
    case Platform::ZipUnpacker::Kind::PowerShell:
        return {unpacker.program,
            {QStringLiteral("-NoProfile"), QStringLiteral("-NonInteractive"), QStringLiteral("-Command"),
                expandArchive(zipPath, folder)}};
    case Platform::ZipUnpacker::Kind::Unzip:
        break;
    }
    return {unpacker.program, {QStringLiteral("-o"), QStringLiteral("-q"), zipPath, QStringLiteral("-d"), folder}};
}
