// Serves one file at the installer's path on 127.0.0.1 and prints the port.
//   bench_installer_server <file>
#include "fixtureserver.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: bench_installer_server <file>\n", stderr);
        return 2;
    }
    FixtureServer server;
    if (!server.start())
        return 1;
    FixtureServer::Response response;
    response.contentType = "application/octet-stream";
    response.filePath = QString::fromLocal8Bit(argv[1]);
    server.setRoute(QStringLiteral("/public/files/RAGEMultiplayer_Setup.exe"), response);
    std::printf("%u\n", unsigned(server.port()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}
