// The six category colours of the statistical evaluation, used in order and cyclically:
// by new category panels, as the fallback of the comparison plot and of restored sessions.
#pragma once

#include <QColor>

#include <array>

namespace Tervane3 {

inline const std::array<QColor, 6>& categoryColorTable()
{
    static const std::array<QColor, 6> table = {QColor(70, 130, 180), QColor(220, 80, 60), QColor(60, 180, 75),
                                                QColor(255, 165, 0), QColor(148, 103, 189), QColor(140, 86, 75)};
    return table;
}

// Entry index mod 6 (a negative index counts as 0).
inline QColor categoryColorAt(int index)
{
    return categoryColorTable()[static_cast<size_t>(index < 0 ? 0 : index % 6)];
}

} // namespace Tervane3
