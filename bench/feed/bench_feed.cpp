// The news feed under load: 1,000 news items, each with its own 1920 x 1080
// JPEG, served over loopback by a separate server process (this program
// started with --serve), and loaded by a fresh launcher process per run
// (--load), so that the launcher's resident memory is measured alone. Then,
// in this process, repainting the news row while the pointer moves across
// the cards, and the peak memory of preparing one 10000 x 10000 picture.
#include "app/launcherservices.h"
#include "benchchild.h"
#include "benchenvironment.h"
#include "benchreport.h"
#include "benchserver.h"
#include "feed/newspicture.h"
#include "largepng.h"
#include "ui/mainwindow.h"
#include "ui/newscard.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLinearGradient>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
constexpr int newsCount = 1000;

QString picturePath(const QString &folder, int index)
{
    return u"%1/%2.jpg"_s.arg(folder).arg(index, 4, 10, QLatin1Char('0'));
}

double residentMb()
{
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1 << 20) : 0;
}

double peakResidentMb()
{
    return std::max<qint64>(0, statusKb("VmHWM")) / 1024.0;
}

// Photo-like pictures: a gradient, shapes that differ per index, and grain
// that brings a picture to some 340 KB, as a detailed photo of this size at
// quality 85. JPEG decoding time follows the file size.
void makePictures(const QString &folder)
{
    QDir().mkpath(folder);
    QImage grain(256, 256, QImage::Format_ARGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < grain.height(); ++y) {
        for (int x = 0; x < grain.width(); ++x) {
            const int v = int(random.bounded(256));
            grain.setPixel(x, y, qRgba(v, v, v, 16));
        }
    }
    int made = 0;
    for (int i = 0; i < newsCount; ++i) {
        const QString path = picturePath(folder, i);
        if (QFile::exists(path))
            continue;
        QImage image(1920, 1080, QImage::Format_RGB32);
        QPainter painter(&image);
        QLinearGradient sky(0, 0, 1920, 1080);
        sky.setColorAt(0, QColor::fromHsv((i * 37) % 360, 160, 230));
        sky.setColorAt(1, QColor::fromHsv((i * 37 + 120) % 360, 200, 60));
        painter.fillRect(image.rect(), sky);
        QRandomGenerator shapes{quint32(i)};
        painter.setRenderHint(QPainter::Antialiasing);
        for (int s = 0; s < 60; ++s) {
            painter.setBrush(QColor::fromHsv(int(shapes.bounded(360)), 180, 200, 160));
            painter.setPen(Qt::NoPen);
            painter.drawEllipse(
                QPointF(shapes.bounded(1920), shapes.bounded(1080)), shapes.bounded(20, 240), shapes.bounded(20, 240));
        }
        painter.drawTiledPixmap(image.rect(), QPixmap::fromImage(grain), QPoint(i % 256, (i * 7) % 256));
        painter.setPen(Qt::white);
        painter.setFont(QFont(u"DejaVu Sans"_s, 120, QFont::Bold));
        painter.drawText(image.rect(), Qt::AlignCenter, u"News %1"_s.arg(i));
        painter.end();
        QImageWriter writer(path, "jpeg");
        writer.setQuality(85);
        writer.write(image);
        ++made;
    }
    if (made)
        std::fprintf(stderr, "   made %d pictures in %s\n", made, qPrintable(folder));
    qint64 bytes = 0;
    for (int i = 0; i < newsCount; ++i)
        bytes += QFileInfo(picturePath(folder, i)).size();
    std::fprintf(stderr, "   %d JPEGs of 1920 x 1080, %lld KB on average\n", newsCount, bytes / newsCount / 1024);
}

QByteArray newsList(const BenchServer &server)
{
    QJsonArray list;
    for (int i = 0; i < newsCount; ++i) {
        list.append(QJsonObject{
            {u"title"_s, u"Новость номер %1: обновление сервера"_s.arg(i)},
            {u"description"_s, u"Подробности в новости на сайте"_s},
            {u"date"_s, QDate(2024, 1, 1).addDays(-i).toString(u"dd.MM.yyyy"_s)},
            {u"date_iso"_s, QDate(2024, 1, 1).addDays(-i).toString(Qt::ISODate)},
            {u"img"_s, server.url(u"/img/%1.jpg"_s.arg(i, 4, 10, QLatin1Char('0')))},
            {u"url"_s, u"news-%1"_s.arg(i)},
        });
    }
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

// --serve <folder>: the community's services with the pictures of the folder.
int serve(const QString &folder)
{
    BenchServer server;
    server.serveBody(u"/servers"_s, R"([{"online":812},{"online":455}])");
    server.serveBody(u"/news"_s, newsList(server));
    for (int i = 0; i < newsCount; ++i)
        server.serveFile(u"/img/%1.jpg"_s.arg(i, 4, 10, QLatin1Char('0')), picturePath(folder, i), "image/jpeg");
    return server.run();
}

// A launcher's window with the features behind it, which outlive it.
struct Launcher
{
    explicit Launcher(const LauncherEnvironment &env)
        : services(env)
        , window(env, services.features())
    {
    }
    LauncherServices services;
    MainWindow window;
};

std::unique_ptr<Launcher> makeLauncher(const QString &scratch, int port)
{
    LauncherEnvironment env = benchEnvironment(scratch);
    env.apiBase = u"http://127.0.0.1:%1"_s.arg(port);
    env.statusIntervalMs = 3600 * 1000;
    return std::make_unique<Launcher>(env);
}

// --load <port>: one launcher fetching the list and all its pictures.
int load(int port)
{
    QTemporaryDir scratch;
    const auto launcher = makeLauncher(scratch.path(), port);
    MainWindow *window = &launcher->window;
    window->show();
    QElapsedTimer clock;
    double residentAtList = 0;
    double peak = 0;
    double visibleMs = -1;
    QNetworkAccessManager *manager = &launcher->services.network;
    QList<NewsCard *> cards;
    bool done = false;
    const auto check = [&] {
        if (done)
            return;
        peak = qMax(peak, residentMb());
        if (cards.isEmpty())
            cards = window->findChildren<NewsCard *>(u"newsCard"_s);
        // Only the four cards on show exist; their pictures are all there is to wait for.
        const bool firstFour = cards.size() >= 4
            && std::all_of(cards.cbegin(), cards.cbegin() + 4, [](const NewsCard *card) { return card->hasPicture(); });
        if (visibleMs < 0 && firstFour)
            visibleMs = double(clock.nsecsElapsed()) / 1e6;
        if (firstFour) {
            done = true;
            std::printf("RESULT %.1f %.1f %.1f %.1f\n", visibleMs, double(clock.nsecsElapsed()) / 1e6,
                residentMb() - residentAtList, peak - residentAtList);
            std::fflush(stdout);
            QCoreApplication::exit(0);
        }
    };
    // The manager signals before the window's own handler runs.
    QObject::connect(manager, &QNetworkAccessManager::finished, manager, [&](QNetworkReply *reply) {
        if (reply->url().path() == u"/news"_s) {
            residentAtList = residentMb();
            peak = residentAtList;
            clock.start();
        } else if (reply->url().path().startsWith(u"/img/"_s)) {
            QTimer::singleShot(0, manager, check);
        }
    });
    QTimer::singleShot(120000, [] {
        std::printf("TIMEOUT\n");
        QCoreApplication::exit(1);
    });
    return QCoreApplication::exec();
}

// --prepare <file>: peak memory of preparing one picture.
int prepareOne(const QString &file)
{
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray data = input.readAll();
    const double before = residentMb();
    resetPeak();
    QElapsedTimer clock;
    clock.start();
    const QImage picture = NewsPicture::prepare(data, NewsCard::pictureArea, 1.0);
    std::printf("RESULT %.1f %.1f %d\n", peakResidentMb() - before, double(clock.nsecsElapsed()) / 1e6,
        picture.isNull() ? 0 : 1);
    return 0;
}

// Moves the pointer across the four visible cards, and times the repaint of
// the card under it after every move.
BenchStats sweepRepaints(MainWindow *window, const QList<NewsCard *> &visible, int sweeps)
{
    QVector<double> samples;
    for (int sweep = 0; sweep < sweeps; ++sweep) {
        for (int x = 250; x < 1054; x += 12) {
            const QPoint at(x, 380 + (x / 12) % 40);
            QTest::mouseMove(window, at);
            for (NewsCard *card : visible) {
                if (!card->geometry().contains(at))
                    continue;
                QElapsedTimer timer;
                timer.start();
                card->repaint();
                samples << double(timer.nsecsElapsed()) / 1e6;
            }
        }
    }
    return BenchStats::of(samples);
}

int orchestrate(const QString &cacheFolder, int runs)
{
    // Kept between runs: making them takes a while. The name changes with the recipe.
    const QString pictureFolder = cacheFolder + u"/1920x1080-q85-grain16"_s;
    makePictures(pictureFolder);

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QCoreApplication::applicationFilePath(), {u"--serve"_s, pictureFolder});
    if (!server.waitForReadyRead(30000))
        return 1;
    const int port = server.readLine().trimmed().toInt();

    QVector<double> visible, growth, peak;
    for (int run = 0; run < runs; ++run) {
        const QList<double> result = runChild({u"--load"_s, QString::number(port)}, 150000);
        if (result.size() != 4) {
            std::fprintf(stderr, "   load run %d failed\n", run);
            return 1;
        }
        visible << result.at(0);
        growth << result.at(2);
        peak << result.at(3);
    }
    reportBench(u"feed.pictures.first4"_s, u"ms"_s, BenchStats::of(visible), QString(), BenchStats(), u"<= 1000"_s);
    reportBench(u"feed.pictures.rssGrowth"_s, u"MB"_s, BenchStats::of(growth), QString(), BenchStats(), u"< 150"_s);
    reportBench(u"feed.pictures.rssPeakGrowth"_s, u"MB"_s, BenchStats::of(peak), QString(), BenchStats(), QString());

    // One picture, prepared on arrival, against decoding it at full size.
    QFile first(picturePath(pictureFolder, 0));
    first.open(QIODevice::ReadOnly);
    const QByteArray jpeg = first.readAll();
    const BenchStats prepared = measure(30, [&] { NewsPicture::prepare(jpeg, NewsCard::pictureArea, 1.0); });
    const BenchStats full = measure(30, [&] {
        QPixmap pixmap;
        pixmap.loadFromData(jpeg);
    });
    reportBench(u"feed.picture.prepare1920x1080"_s, u"ms"_s, prepared, u"full-size loadFromData"_s, full, QString());

    // Peak memory of one 10000 x 10000 picture, each format in a fresh process.
    QTemporaryDir scratch;
    const QString png = scratch.filePath(u"huge.png"_s);
    {
        QFile out(png);
        out.open(QIODevice::WriteOnly);
        out.write(largePng(10000, 10000, qRgb(30, 120, 200)));
    }
    const QString jpg = scratch.filePath(u"huge.jpg"_s);
    {
        QImage huge(10000, 10000, QImage::Format_Grayscale8);
        huge.fill(90);
        QImageWriter(jpg, "jpeg").write(huge);
    }
    for (const auto &[name, file] : {std::pair{u"png"_s, png}, std::pair{u"jpeg"_s, jpg}}) {
        QVector<double> peaks;
        QVector<double> times;
        for (int run = 0; run < 3; ++run) {
            const QList<double> result = runChild({u"--prepare"_s, file}, 60000);
            if (result.size() != 3 || result.at(2) != 1) {
                std::fprintf(stderr, "   %s: the picture was not prepared\n", qPrintable(name));
                return 1;
            }
            peaks << result.at(0);
            times << result.at(1);
        }
        reportBench(u"feed.picture.prepare10000x10000.%1.peak"_s.arg(name), u"MB"_s, BenchStats::of(peaks), QString(),
            BenchStats(), u"< 100"_s);
        reportBench(u"feed.picture.prepare10000x10000.%1.time"_s.arg(name), u"ms"_s, BenchStats::of(times), QString(),
            BenchStats(), QString());
    }

    // The news row under a moving pointer, pictures prepared on arrival; as the
    // baseline, the same cards holding full-size pictures scaled on every paint.
    QTemporaryDir windowScratch;
    const auto launcher = makeLauncher(windowScratch.path(), port);
    MainWindow *window = &launcher->window;
    window->show();
    QList<NewsCard *> visible4;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const QList<NewsCard *> cards = window->findChildren<NewsCard *>(u"newsCard"_s);
        if (cards.size() >= 4 && std::all_of(cards.cbegin(), cards.cbegin() + 4, [](const NewsCard *card) {
                return card->hasPicture();
            })) {
            visible4 = cards.mid(0, 4);
            break;
        }
    }
    server.terminate();
    server.waitForFinished(5000);
    if (visible4.isEmpty())
        return 1;
    const BenchStats repaint = sweepRepaints(window, visible4, 10);
    const QPixmap fullSize = QPixmap::fromImage(QImage(picturePath(pictureFolder, 1)));
    for (NewsCard *card : std::as_const(visible4))
        card->setPicture(fullSize);
    const BenchStats scaledEveryPaint = sweepRepaints(window, visible4, 3);
    reportBench(u"feed.newsRow.repaintPerCard"_s, u"ms"_s, repaint, u"full-size picture scaled every paint"_s,
        scaledEveryPaint, u"< 1"_s);
    return 0;
}
} // namespace

int main(int argc, char **argv)
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QString mode = arguments.value(1);
    if (mode == u"--serve"_s)
        return serve(arguments.value(2));
    if (mode == u"--load"_s)
        return load(arguments.value(2).toInt());
    if (mode == u"--prepare"_s)
        return prepareOne(arguments.value(2));
    if (mode == u"--pictures"_s)
        return orchestrate(arguments.value(2), arguments.value(3, u"3"_s).toInt());
    std::fprintf(stderr, "usage: bench_feed --pictures <folder> [runs]\n");
    return 2;
}
