// Serves one file on 127.0.0.1 and prints the port: at the installer's path,
// and at "/cut/RAGEMultiplayer_Setup.exe" cut once at its middle for each
// request target (path and query). With a rate, through a line of that many
// MiB a second.
//   bench_installer_server <file> [MiB/s]
#include "benchserver.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fputs("usage: bench_installer_server <file> [MiB/s]\n", stderr);
        return 2;
    }
    BenchServer server;
    const QString file = QString::fromLocal8Bit(argv[1]);
    server.serveFile(QStringLiteral("/public/files/RAGEMultiplayer_Setup.exe"), file, "application/octet-stream");
    server.serveFile(QStringLiteral("/cut/RAGEMultiplayer_Setup.exe"), file, "application/octet-stream", true);
    if (argc == 3)
        server.setLineRate(QByteArray(argv[2]).toLongLong() << 20);
    return server.run();
}
