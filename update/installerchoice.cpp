#include "update/installerchoice.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>
#include <tuple>
#include <vector>

QString chooseInstaller(const QString &folder)
{
    const QString root = QFileInfo(folder).canonicalFilePath();
    if (root.isEmpty())
        return QString();
    const QString prefix = root + QLatin1Char('/');

    struct Candidate
    {
        qsizetype depth;
        QString relative;
    };
    std::vector<Candidate> candidates;
    QDirIterator it(root, {QStringLiteral("*.exe")}, QDir::Files | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString real = it.fileInfo().canonicalFilePath();
        if (!real.startsWith(prefix))
            continue;
        const QString relative = real.mid(prefix.size());
        candidates.push_back({relative.count(QLatin1Char('/')), relative});
    }
    if (candidates.empty())
        return QString();
    const auto shallowerThenByPath = [](const Candidate &a, const Candidate &b) {
        return std::tie(a.depth, a.relative) < std::tie(b.depth, b.relative);
    };
    const auto first = std::min_element(candidates.begin(), candidates.end(), shallowerThenByPath);
    return prefix + first->relative;
}
