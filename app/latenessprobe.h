#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

/// Benchmark builds only (VELOR_LATENESS_PROBE): watches the GUI thread for the
/// first seconds after the process started and writes what it saw to the file
/// named by the environment variable VELOR_LATENESS_PROBE_FILE, one "key value"
/// line each, times in ms after the process started: the longest stretch the
/// event loop was blocked (how late a short precise timer fired) and the tick
/// it followed (the block began then or later), when the first window was
/// shown (built), when the event loop started, when that window was mapped and
/// when its first frame was out. Without the variable it does nothing.
class LatenessProbe final : public QObject
{
public:
    LatenessProbe();
    ~LatenessProbe() override;

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    double nowMs() const;
    void startTicking();
    void tick();
    void write(bool complete);

    QString m_path;
    QElapsedTimer m_clock;
    double m_processAgeMs = 0; ///< the process's age when m_clock started
    bool m_processAgeKnown = false;
    QTimer m_timer;
    double m_lastTickMs = -1;
    double m_longestMs = 0;
    double m_longestFromMs = -1;
    int m_ticks = 0;
    int m_blocksOverTarget = 0;
    double m_shownMs = -1;
    double m_loopStartMs = -1;
    double m_mappedMs = -1;
    double m_firstPaintMs = -1;
    double m_firstFrameMs = -1;
    bool m_written = false;
};
