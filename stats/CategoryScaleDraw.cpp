// Category names on a plot axis.
#include "stats/CategoryScaleDraw.h"

#include <cmath>

namespace Tervane3 {

CategoryScaleDraw::CategoryScaleDraw(const QStringList& names)
    : categoryNames(names)
{
}

QwtText CategoryScaleDraw::label(double value) const
{
    // std::lround rounds halves away from zero (qRound(-0.5) gives 0 in Qt 5).
    const long index = std::lround(value);
    if (index >= 0 && index < categoryNames.size())
        return QwtText(categoryNames.at(static_cast<int>(index)));
    return QwtText();
}

} // namespace Tervane3
