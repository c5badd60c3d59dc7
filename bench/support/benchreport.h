#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTextStream>
#include <QVector>
#include <algorithm>
#include <cstdio>

/// Median, minimum and maximum of repeated measurements.
struct BenchStats final
{
    double median = 0;
    double min = 0;
    double max = 0;

    static BenchStats of(QVector<double> samples)
    {
        BenchStats stats;
        if (samples.isEmpty())
            return stats;
        std::sort(samples.begin(), samples.end());
        const int n = int(samples.size());
        stats.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
        stats.min = samples.front();
        stats.max = samples.back();
        return stats;
    }
};

/// Times work runs times after one warm-up run, in milliseconds.
template <typename Work> BenchStats measure(int runs, Work work)
{
    work();
    QVector<double> samples;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        samples << double(timer.nsecsElapsed()) / 1e6;
    }
    return BenchStats::of(samples);
}

/// A figure of this process from /proc/self/status (VmRSS, VmHWM ...), in kB; -1 when unknown.
inline qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

/// Starts the peak resident size (VmHWM) afresh from the current one.
inline bool resetPeak()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

/// How far the peak resident size rose above idleKb (VmRSS when the peak was
/// last reset), in MB.
inline double peakGrowthMb(qint64 idleKb)
{
    return double(statusKb("VmHWM") - idleKb) / 1024.0;
}

/**
 * Prints one result line that run-benchmarks.sh collects into the table:
 * BENCH<TAB>name<TAB>unit<TAB>median<TAB>min<TAB>max<TAB>baseline name<TAB>
 * baseline median<TAB>baseline min<TAB>baseline max<TAB>target.
 * A figure without a baseline passes an empty baseline name.
 */
inline void reportBench(const QString &name, const QString &unit, const BenchStats &value, const QString &baselineName,
    const BenchStats &baseline, const QString &target)
{
    QTextStream out(stdout);
    out << "BENCH\t" << name << '\t' << unit << '\t' << value.median << '\t' << value.min << '\t' << value.max << '\t'
        << baselineName << '\t' << baseline.median << '\t' << baseline.min << '\t' << baseline.max << '\t' << target
        << '\n';
    out.flush();
}

/// Prints the result line of a measurement that could not be made because the
/// measured work failed: "fails" and why stand in the median's place.
inline void reportFailure(const QString &name, const QString &unit, const QString &why, const QString &baselineName,
    const BenchStats &baseline, const QString &target)
{
    QTextStream out(stdout);
    out << "BENCH\t" << name << '\t' << unit << "\tfails: " << QString(why).replace(u'\t', u' ') << "\t\t\t"
        << baselineName << '\t' << baseline.median << '\t' << baseline.min << '\t' << baseline.max << '\t' << target
        << '\n';
    out.flush();
}
