// The feed against the worst a server may send within the launcher's limits,
// each case in a fresh launcher process whose window is shown (offscreen),
// served over loopback by a separate server process (this program started
// with --serve):
// - "/news" answers that fill the answer's cap: a list of millions of zeros,
//   1,000 items with long texts, and 4 items (the cards in view) with huge
//   ones; fetched by NewsSource, shown by the window's NewsRow;
// - pictures far larger than a card: an 11000 x 11000 JPEG, progressive and
//   baseline, and a 10000 x 10000 PNG, each the picture of the row's card;
//   and the crafted JPEGs of the tests that would make one picture costly: a
//   progressive 11000 x 11000 one with a stray byte, a baseline 11000 x 11000
//   one whose first scan holds one component, a progressive one of 2000 scans.
// For each, the peak memory growth above the idle window and the longest time
// the GUI thread was held, from the request to the cards or picture painted;
// for pictures, also the time until painted or refused.
#include "app/launcherservices.h"
#include "benchchild.h"
#include "benchenvironment.h"
#include "benchreport.h"
#include "benchserver.h"
#include "feed/newspictureloader.h"
#include "feed/newssource.h"
#include "guiblockprobe.h"
#include "largepng.h"
#include "ui/mainwindow.h"
#include "ui/newscard.h"
#include "ui/newsrow.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QLinearGradient>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <type_traits>

using namespace Qt::StringLiterals;

namespace {
// The largest "/news" answer NewsSource takes, which the answers here fill:
// its maxAnswerBytes once the class makes it public, otherwise this copy of
// the figure in its source, to be kept in step by hand.
constexpr qint64 newsCapInSource = qint64(16) << 20;

template <typename Source, typename = void> struct NewsCap
{
    static constexpr qint64 bytes = newsCapInSource;
    static constexpr bool fromClass = false;
};
template <typename Source> struct NewsCap<Source, std::void_t<decltype(Source::maxAnswerBytes)>>
{
    static constexpr qint64 bytes = Source::maxAnswerBytes;
    static constexpr bool fromClass = true;
};
constexpr qint64 newsCap = NewsCap<NewsSource>::bytes;

const QStringList pictureCases{u"progressive11000.jpg"_s, u"baseline11000.jpg"_s, u"png10000.png"_s,
    u"strayByte11000.jpg"_s, u"firstScanOneComponent11000.jpg"_s, u"scans2000.jpg"_s};
// The crafted ones, as the tests keep them.
const QList<std::pair<QString, QString>> craftedPictures{
    {u"strayByte11000.jpg"_s, u"progressive, a stray byte, 11000 x 11000=.jpg"_s},
    {u"firstScanOneComponent11000.jpg"_s, u"baseline, first scan of one component, 11000 x 11000=.jpg"_s},
    {u"scans2000.jpg"_s, u"progressive, 2000 scans=.jpg"_s}};

// "[0,0,...,0]" as long as the cap allows: every element is an item.
QByteArray zerosAnswer()
{
    const qint64 count = (newsCap - 1) / 2;
    return '[' + QByteArray("0,").repeated(count - 1) + "0]";
}

// Items, all kept and each a card of its own, whose titles and descriptions
// share what the cap leaves. Plain ASCII words: two bytes of memory for each
// byte of the answer.
QByteArray longTextsAnswer(int count)
{
    const auto item = [](int i, qsizetype titleLength, qsizetype descriptionLength) {
        static const QByteArray words
            = QByteArray("lorem ipsum dolor sit amet consectetur adipiscing elit ").repeated(newsCap / 50);
        const QDate day = QDate(2024, 6, 1).addDays(-i);
        return "{\"title\":\"" + words.left(titleLength) + "\",\"description\":\"" + words.left(descriptionLength)
            + "\",\"date\":\"" + day.toString(u"dd.MM.yyyy"_s).toLatin1() + "\",\"date_iso\":\""
            + day.toString(Qt::ISODate).toLatin1() + "\",\"img\":\"\",\"url\":\"news-" + QByteArray::number(i) + "\"}";
    };
    qint64 frame = 2 + (count - 1);
    for (int i = 0; i < count; ++i)
        frame += item(i, 0, 0).size();
    const qint64 text = (newsCap - frame) / count;
    QByteArray answer = "[";
    for (int i = 0; i < count; ++i) {
        const qint64 extra = i + 1 == count ? (newsCap - frame) % count : 0;
        answer += (i ? "," : "") + item(i, text / 2, text - text / 2 + extra);
    }
    return answer + ']';
}

// --serve <folder>: the news answers, and the pictures of the folder.
int serve(const QString &folder)
{
    BenchServer server;
    server.serveBody(u"/news/zeros"_s, zerosAnswer());
    server.serveBody(u"/news/long1000"_s, longTextsAnswer(1000));
    server.serveBody(u"/news/long4"_s, longTextsAnswer(4));
    for (const QString &name : pictureCases)
        server.serveFile(
            u"/pictures/"_s + name, folder + u'/' + name, name.endsWith(u".png"_s) ? "image/png" : "image/jpeg");
    return server.run();
}

// Starts work in a settled, shown launcher window, and measures from there
// until work reports its end (and a little longer, for the paint it caused):
// prints "RESULT <peak growth MB> <longest block ms> <end ms> <shown>".
// Work gets the window, its network manager and the call that reports the
// end, shown or not.
using End = std::function<void(bool)>;
using Work = std::function<void(MainWindow &, QNetworkAccessManager &, const End &)>;
int measureInWindow(const Work &work)
{
    QTemporaryDir scratch;
    // Its own start-up requests fail at once on a closed port.
    const LauncherEnvironment env = benchEnvironment(scratch.path());
    LauncherServices services(env);
    MainWindow window(env, services.features());
    window.show();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

    const qint64 idleKb = statusKb("VmRSS");
    if (!resetPeak())
        return 1;
    GuiBlockProbe probe;
    QElapsedTimer clock;
    double endMs = -1;
    bool shown = false;
    const auto end = [&](bool picture) {
        if (endMs >= 0)
            return;
        endMs = double(clock.nsecsElapsed()) / 1e6;
        shown = picture;
        QTimer::singleShot(500, qApp, &QCoreApplication::quit);
    };
    QTimer::singleShot(150000, qApp, &QCoreApplication::quit);
    probe.start();
    clock.start();
    work(window, services.network, end);
    QCoreApplication::exec();
    probe.stop();
    std::printf("RESULT %.1f %.1f %.1f %d\n", peakGrowthMb(idleKb), probe.longestMs(), endMs, shown ? 1 : 0);
    return 0;
}

// Calls end(true) once shown holds, checked every 10 ms, or end(false) when
// it still does not some seconds after the answer to path was handled.
void awaitShown(MainWindow &window, QNetworkAccessManager *manager, const QString &path,
    const std::function<bool()> &shown, const std::function<void(bool)> &end)
{
    auto *poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [shown, end] {
        if (shown())
            end(true);
    });
    poll->start(10);
    QObject::connect(manager, &QNetworkAccessManager::finished, &window, [path, end](QNetworkReply *reply) {
        if (reply->url().path() != path)
            return;
        // The manager reports the reply before its requester hears of it.
        QTimer::singleShot(0, reply->manager(),
            [end, manager = reply->manager()] { QTimer::singleShot(10000, manager, [end] { end(false); }); });
    });
}

// --news <port> <case>: the answer fetched by a NewsSource of the window's
// kind into the window's news row.
int measureNews(int port, const QString &name)
{
    return measureInWindow([port, name](MainWindow &window, QNetworkAccessManager &manager, const End &end) {
        const QString path = u"/news/"_s + name;
        auto *source = new NewsSource(&manager, u"http://127.0.0.1:%1%2"_s.arg(port).arg(path),
            LauncherEnvironment::compiledIn().requestTimeoutMs, &window);
        QObject::connect(source, &NewsSource::newsReady, window.findChild<NewsRow *>(), &NewsRow::showItems);
        awaitShown(
            window, &manager, path, [&window] { return window.findChild<NewsCard *>(u"newsCard"_s) != nullptr; }, end);
        source->fetch();
    });
}

// --picture <port> <name>: a one-item list whose card shows the picture.
int measurePicture(int port, const QString &name)
{
    return measureInWindow([port, name](MainWindow &window, QNetworkAccessManager &manager, const End &end) {
        const QString path = u"/pictures/"_s + name;
        NewsItem item;
        item.title = u"Большая картинка"_s;
        item.date = u"01.06.2024"_s;
        item.img = u"http://127.0.0.1:%1%2"_s.arg(port).arg(path);
        awaitShown(
            window, &manager, path,
            [&window] {
                const NewsCard *card = window.findChild<NewsCard *>(u"newsCard"_s);
                return card && card->hasPicture();
            },
            end);
        QObject::connect(
            window.findChild<NewsPictureLoader *>(), &NewsPictureLoader::pictureFailed, &window, [end] { end(false); });
        window.findChild<NewsRow *>()->showItems({item});
    });
}

// An 11000 x 11000 photo-like picture: a gradient, shapes and a fine grain
// that bring the progressive JPEG to some 9 MB, as a large photo would be;
// and the same picture as a baseline JPEG.
void writeLargeJpegs(const QString &folder)
{
    QImage grain(256, 256, QImage::Format_ARGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < grain.height(); ++y) {
        for (int x = 0; x < grain.width(); ++x) {
            const int v = int(random.bounded(256));
            grain.setPixel(x, y, qRgba(v, v, v, 9));
        }
    }
    constexpr int side = 11000;
    QImage image(side, side, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, side, side);
    sky.setColorAt(0, QColor::fromHsv(200, 160, 230));
    sky.setColorAt(1, QColor::fromHsv(320, 200, 60));
    painter.fillRect(image.rect(), sky);
    QRandomGenerator shapes(11);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int s = 0; s < 400; ++s) {
        painter.setBrush(QColor::fromHsv(int(shapes.bounded(360)), 180, 200, 160));
        painter.drawEllipse(QPointF(shapes.bounded(double(side)), shapes.bounded(double(side))),
            shapes.bounded(side / 80, side / 8), shapes.bounded(side / 80, side / 8));
    }
    painter.drawTiledPixmap(image.rect(), QPixmap::fromImage(grain));
    painter.end();
    for (const bool progressive : {true, false}) {
        QImageWriter writer(folder + (progressive ? u"/progressive11000.jpg"_s : u"/baseline11000.jpg"_s), "jpeg");
        writer.setQuality(85);
        writer.setProgressiveScanWrite(progressive);
        writer.write(image);
    }
}

int orchestrate(int runs)
{
    std::fprintf(stderr, "   news answers of %.1f MiB, the cap %s\n", double(newsCap) / (1 << 20),
        NewsCap<NewsSource>::fromClass ? "NewsSource::maxAnswerBytes gives" : "copied from newssource.cpp");
    QTemporaryDir pictures;
    writeLargeJpegs(pictures.path());
    {
        QFile png(pictures.filePath(u"png10000.png"_s));
        if (!png.open(QIODevice::WriteOnly) || png.write(largePng(10000, 10000, qRgb(30, 120, 200))) <= 0)
            return 1;
    }
    for (const auto &[name, file] : craftedPictures) {
        if (!QFile::copy(QStringLiteral(VELOR_TEST_DATA "/pictures/") + file, pictures.filePath(name)))
            return 1;
    }
    for (const QString &name : pictureCases) {
        std::fprintf(
            stderr, "   %s: %.1f MB\n", qPrintable(name), double(QFileInfo(pictures.filePath(name)).size()) / 1e6);
    }

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QCoreApplication::applicationFilePath(), {u"--serve"_s, pictures.path()});
    if (!server.waitForReadyRead(60000))
        return 1;
    const QString port = QString::fromLatin1(server.readLine().trimmed());

    const auto measureCase = [&](const QString &mode, const QString &name, const QString &rowName,
                                 const QString &memoryTarget) {
        QVector<double> growth, block, outcome;
        for (int run = 0; run < runs; ++run) {
            const QList<double> result = runChild({mode, port, name}, 180000);
            if (result.size() != 4) {
                std::fprintf(stderr, "   %s run %d failed\n", qPrintable(name), run);
                return false;
            }
            growth << result.at(0);
            block << result.at(1);
            outcome << result.at(2);
            std::fprintf(stderr, "   %s run %d: +%.0f MB, longest block %.0f ms, %s after %.0f ms\n", qPrintable(name),
                run, result.at(0), result.at(1), result.at(3) ? "shown" : "nothing shown", result.at(2));
        }
        reportBench(rowName + u".peakGrowth"_s, u"MB"_s, BenchStats::of(growth), QString(), BenchStats(), memoryTarget);
        reportBench(rowName + u".longestBlock"_s, u"ms"_s, BenchStats::of(block), QString(), BenchStats(), u"≤ 50"_s);
        if (mode == u"--picture"_s) {
            reportBench(
                rowName + u".shownOrRefused"_s, u"ms"_s, BenchStats::of(outcome), QString(), BenchStats(), u"≤ 1500"_s);
        }
        return true;
    };
    const QString cap = QString::number(double(newsCap) / (1 << 20), 'g', 3) + u"MiB"_s;
    bool ok = measureCase(u"--news"_s, u"zeros"_s, u"feed.news.zeros"_s + cap, u"≤ 64"_s)
        && measureCase(u"--news"_s, u"long1000"_s, u"feed.news.1000LongItems"_s + cap, u"≤ 64"_s)
        && measureCase(u"--news"_s, u"long4"_s, u"feed.news.4HugeItems"_s + cap, u"≤ 64"_s);
    for (const QString &name : pictureCases) {
        ok = ok
            && measureCase(u"--picture"_s, name, u"feed.picture."_s + QFileInfo(name).completeBaseName(), u"< 100"_s);
    }
    server.kill();
    server.waitForFinished();
    return ok ? 0 : 1;
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
    if (mode == u"--news"_s)
        return measureNews(arguments.value(2).toInt(), arguments.value(3));
    if (mode == u"--picture"_s)
        return measurePicture(arguments.value(2).toInt(), arguments.value(3));
    if (mode == u"--runs"_s)
        return orchestrate(arguments.value(2, u"3"_s).toInt());
    std::fprintf(stderr, "usage: bench_feed_extremes --runs <runs>\n");
    return 2;
}
