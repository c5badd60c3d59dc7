// Serves an update archive and two version answers for it on 127.0.0.1 and
// prints the port: "/launcher/version" names the archive, and
// "/checked/launcher/version" adds its SHA-256.
//   bench_update_server <archive> <sha256 hex>
#include "fixtureserver.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: bench_update_server <archive> <sha256 hex>\n", stderr);
        return 2;
    }
    FixtureServer server;
    if (!server.start())
        return 1;
    FixtureServer::Response archive;
    archive.contentType = "application/zip";
    archive.filePath = QString::fromLocal8Bit(argv[1]);
    server.setRoute(QStringLiteral("/files/update.zip"), archive);
    const QByteArray answer = "{\"version\":\"9.0.0\",\"download_url\":\"" + server.url(QStringLiteral("/files/update.zip")).toUtf8() + '"';
    server.setJson(QStringLiteral("/launcher/version"), answer + '}');
    server.setJson(QStringLiteral("/checked/launcher/version"), answer + ",\"sha256\":\"" + QByteArray(argv[2]) + "\"}");
    std::printf("%u\n", unsigned(server.port()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}
