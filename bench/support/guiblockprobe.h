#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

/**
 * The longest time the GUI thread went without reaching its event loop while
 * the probe ran: a precise timer ticks every few milliseconds, and a tick that
 * comes late was held up by whatever ran on the thread meanwhile. The figure
 * is the largest gap between two ticks less the interval.
 */
class GuiBlockProbe final
{
public:
    explicit GuiBlockProbe(int intervalMs = 2)
        : m_intervalNs(qint64(intervalMs) * 1000000)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { tick(); });
    }

    void start()
    {
        m_longestNs = 0;
        m_clock.start();
        m_lastNs = 0;
        m_timer.start();
    }

    /// Counts a block that is still under way when called from the event loop.
    void stop()
    {
        tick();
        m_timer.stop();
    }

    double longestMs() const { return double(m_longestNs) / 1e6; }

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_longestNs = std::max(m_longestNs, now - m_lastNs - m_intervalNs);
        m_lastNs = now;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_intervalNs;
    qint64 m_lastNs = 0;
    qint64 m_longestNs = 0;
};
