// Serves an update archive and two version answers for it on 127.0.0.1 and
// prints the port: "/launcher/version" names the archive, and
// "/checked/launcher/version" adds its SHA-256.
//   bench_update_server <archive> <sha256 hex>
#include "benchserver.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: bench_update_server <archive> <sha256 hex>\n", stderr);
        return 2;
    }
    BenchServer server;
    server.serveFile(QStringLiteral("/files/update.zip"), QString::fromLocal8Bit(argv[1]), "application/zip");
    const QByteArray answer
        = "{\"version\":\"9.0.0\",\"download_url\":\"" + server.url(QStringLiteral("/files/update.zip")).toUtf8() + '"';
    server.serveBody(QStringLiteral("/launcher/version"), answer + '}');
    server.serveBody(
        QStringLiteral("/checked/launcher/version"), answer + ",\"sha256\":\"" + QByteArray(argv[2]) + "\"}");
    return server.run();
}
