#include "app/latenessprobe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSaveFile>
#include <QWidget>
#include <QWindow>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {
// Short enough to see any block a player would notice; a precise timer, so
// that coarse timer slack does not count as lateness.
constexpr int tickMs = 10;
// Start-up and the first network requests (and their time-outs) fall in here.
constexpr double spanMs = 20000;
// A block of this length is the longest a start may have.
constexpr double targetMs = 50;

double elapsedMs(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}
} // namespace

LatenessProbe::LatenessProbe()
    : m_path(qEnvironmentVariable("VELOR_LATENESS_PROBE_FILE"))
{
    m_clock.start();
    if (m_path.isEmpty())
        return;
#ifdef Q_OS_WIN
    FILETIME created{}, exited{}, kernel{}, user{}, now{};
    GetSystemTimePreciseAsFileTime(&now);
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        const auto ticks = [](const FILETIME &t) { return (quint64(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
        m_processAgeMs = double(ticks(now) - ticks(created)) / 1e4; // 100 ns units
        m_processAgeKnown = true;
    }
#endif
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(tickMs);
    connect(&m_timer, &QTimer::timeout, this, &LatenessProbe::tick);
    // Counts from the event loop's start: the construction before it is the
    // start-up the frame figures show.
    QTimer::singleShot(0, this, &LatenessProbe::startTicking);
    QCoreApplication::instance()->installEventFilter(this);
}

LatenessProbe::~LatenessProbe()
{
    if (!m_path.isEmpty() && !m_written)
        write(false);
}

double LatenessProbe::nowMs() const
{
    return m_processAgeMs + elapsedMs(m_clock);
}

void LatenessProbe::startTicking()
{
    m_loopStartMs = nowMs();
    m_lastTickMs = m_loopStartMs;
    m_timer.start();
}

void LatenessProbe::tick()
{
    const double now = nowMs();
    const double late = now - m_lastTickMs - tickMs;
    if (late > m_longestMs) {
        m_longestMs = late;
        m_longestFromMs = m_lastTickMs;
    }
    m_blocksOverTarget += late > targetMs;
    m_lastTickMs = now;
    ++m_ticks;
    if (now >= spanMs) {
        m_timer.stop();
        write(true);
    }
}

bool LatenessProbe::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show && m_shownMs < 0 && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->isWindow())
        m_shownMs = nowMs();
    if (event->type() == QEvent::Expose && m_mappedMs < 0 && watched->isWindowType()
        && static_cast<QWindow *>(watched)->isExposed())
        m_mappedMs = nowMs();
    if (event->type() == QEvent::Paint && m_firstPaintMs < 0 && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->isWindow()) {
        m_firstPaintMs = nowMs();
        // The frame is out once the event loop is back: the paint is flushed by then.
        QTimer::singleShot(0, this, [this] {
            m_firstFrameMs = nowMs();
            QCoreApplication::instance()->removeEventFilter(this);
        });
    }
    return false;
}

void LatenessProbe::write(bool complete)
{
    m_written = true;
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return;
    const auto line = [&file](const char *key, double value, int decimals = 3) {
        file.write(QByteArray(key) + ' ' + QByteArray::number(value, 'f', decimals) + '\n');
    };
    line("longestBlockMs", m_longestMs);
    line("longestBlockFromMs", m_longestFromMs);
    line("blocksOver50Ms", m_blocksOverTarget, 0);
    line("ticks", m_ticks, 0);
    line("shownMs", m_shownMs);
    line("loopStartMs", m_loopStartMs);
    line("mappedMs", m_mappedMs);
    line("firstPaintMs", m_firstPaintMs);
    line("firstFrameMs", m_firstFrameMs);
    line("watchedUntilMs", nowMs());
    line("processStartKnown", m_processAgeKnown, 0);
    line("complete", complete, 0);
    file.commit();
}
