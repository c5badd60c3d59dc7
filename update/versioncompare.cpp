#include "update/versioncompare.h"

#include <QStringList>

namespace {
int partAt(const QStringList &parts, qsizetype index)
{
    return index < parts.size() ? parts.at(index).toInt() : 0;
}
} // namespace

bool isNewerVersion(const QString &candidate, const QString &current)
{
    const QStringList a = candidate.split(QLatin1Char('.'));
    const QStringList b = current.split(QLatin1Char('.'));
    const qsizetype count = qMax(a.size(), b.size());
    for (qsizetype i = 0; i < count; ++i) {
        const int left = partAt(a, i);
        const int right = partAt(b, i);
        if (left != right)
            return left > right;
    }
    return false;
}
