// The main window's own painting (background and sidebar panel), a whole
// repaint with every child, and, as the baseline, painting that decodes and
// scales the background on every paint. Offscreen.
#include "app/launcherservices.h"
#include "benchreport.h"
#include "testsupport.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTemporaryDir>

namespace {

// The same picture drawn the plain way: decode, scale, clip, panel, every time.
void paintDecodingEveryTime(QPaintDevice *device)
{
    QPainter painter(device);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(0, 0, 1081, 659), 12.0, 12.0, Qt::AbsoluteSize);
    painter.setClipPath(clip);
    const QPixmap background(QStringLiteral(":/images/background.png"));
    const QPixmap scaled
        = background.scaled(QSize(1081, 659), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    painter.drawPixmap((1081 - scaled.width()) / 2, (659 - scaled.height()) / 2, scaled);
    QPainterPath panel;
    panel.addRoundedRect(QRectF(20.5, 20.5, 205, 623), 12.0, 12.0, Qt::AbsoluteSize);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(18, 18, 18, 217));
    painter.drawPath(panel);
    QLinearGradient sheen(QPointF(20, 20), QPointF(20, 644));
    sheen.setColorAt(0.0, QColor(255, 255, 255, 10));
    sheen.setColorAt(1.0, QColor(0, 0, 0, 18));
    painter.setBrush(sheen);
    painter.drawPath(panel);
    painter.setPen(QPen(QBrush(QColor(255, 255, 255, 20)), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(panel);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    const LauncherEnvironment env = testEnvironment(scratch.path());
    LauncherServices services(env);
    MainWindow window(env, services.features());
    window.show();

    QPixmap target(window.size());
    target.fill(Qt::transparent);
    const int runs = 200;

    const BenchStats own
        = measure(runs, [&] { window.render(&target, QPoint(), QRegion(), QWidget::DrawWindowBackground); });
    const BenchStats decoding = measure(20, [&] { paintDecodingEveryTime(&target); });
    const BenchStats whole = measure(runs,
        [&] { window.render(&target, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren); });

    reportBench(QStringLiteral("window paintEvent (background + panel)"), QStringLiteral("ms"), own,
        QStringLiteral("decode and scale on every paint"), decoding,
        QStringLiteral("< 1 ms and ≥ 10× faster than baseline"));
    reportBench(QStringLiteral("whole-window repaint with children"), QStringLiteral("ms"), whole, QString(),
        BenchStats(), QStringLiteral("(reported)"));
    return 0;
}
