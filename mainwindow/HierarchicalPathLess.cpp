// Component-wise, case-insensitive path order.
#include "mainwindow/HierarchicalPathLess.h"

#include <QStringList>

namespace Tervane3 {

bool hierarchicalPathLess(const QString& a, const QString& b)
{
    const QStringList left = a.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QStringList right = b.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const int common = std::min(left.size(), right.size());
    for (int i = 0; i < common; ++i) {
        const int order = QString::compare(left[i], right[i], Qt::CaseInsensitive);
        if (order != 0)
            return order < 0;
    }
    return left.size() < right.size();
}

} // namespace Tervane3
