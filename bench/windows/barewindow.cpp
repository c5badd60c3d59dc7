// The baseline of the launcher's start-up under Wine (run.sh): a bare
// frameless window of the launcher's size, built against the same static Qt.
// It paints one flat colour with a lighter panel where the launcher has its
// sidebar, so that the watcher outside (framewatch.c) sees its first frame by
// the same test as the launcher's: pixels that are not all one colour.
#include <QApplication>
#include <QMainWindow>
#include <QPainter>

#ifdef VELOR_LATENESS_PROBE
#include "app/latenessprobe.h"
#endif

namespace {
class BareWindow final : public QMainWindow
{
protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(18, 18, 18));
        painter.fillRect(QRect(20, 20, 206, 624), QColor(40, 40, 40));
    }
};
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
#ifdef VELOR_LATENESS_PROBE
    LatenessProbe latenessProbe;
#endif
    BareWindow window;
    window.setWindowFlags(Qt::FramelessWindowHint);
    window.setAttribute(Qt::WA_TranslucentBackground);
    window.setFixedSize(1081, 659);
    window.show();
    return QApplication::exec();
}
