// Serves an update archive and three version answers for it on 127.0.0.1 and
// prints the port: "/launcher/version" names the archive,
// "/checked/launcher/version" adds its SHA-256 and "/signed/launcher/version"
// the signature of both (made by the signing tool, for version 9.0.0).
//   bench_update_server <archive> <sha256 hex> <signature>
#include "benchserver.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fputs("usage: bench_update_server <archive> <sha256 hex> <signature>\n", stderr);
        return 2;
    }
    BenchServer server;
    server.serveFile(QStringLiteral("/files/update.zip"), QString::fromLocal8Bit(argv[1]), "application/zip");
    const QByteArray answer
        = "{\"version\":\"9.0.0\",\"download_url\":\"" + server.url(QStringLiteral("/files/update.zip")).toUtf8() + '"';
    server.serveBody(QStringLiteral("/launcher/version"), answer + '}');
    const QByteArray checked = answer + ",\"sha256\":\"" + QByteArray(argv[2]) + '"';
    server.serveBody(QStringLiteral("/checked/launcher/version"), checked + '}');
    server.serveBody(
        QStringLiteral("/signed/launcher/version"), checked + ",\"signature\":\"" + QByteArray(argv[3]) + "\"}");
    return server.run();
}
