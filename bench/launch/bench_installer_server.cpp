// Serves one file at the installer's path on 127.0.0.1 and prints the port.
//   bench_installer_server <file>
#include "benchserver.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: bench_installer_server <file>\n", stderr);
        return 2;
    }
    BenchServer server;
    server.serveFile(QStringLiteral("/public/files/RAGEMultiplayer_Setup.exe"), QString::fromLocal8Bit(argv[1]),
        "application/octet-stream");
    return server.run();
}
