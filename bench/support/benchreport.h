#pragma once

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
