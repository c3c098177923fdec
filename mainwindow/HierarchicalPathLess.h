// The order in which several chosen or dropped measurement paths are opened: component by
// component, without regard to case, so that folders group together.
#pragma once

#include <QString>

namespace Tervane3 {

// Splits both paths at "/" (empty parts dropped) and compares the components pairwise with
// a case-insensitive comparison; the first pair that differs decides. When one list is a
// prefix of the other, the shorter comes first; equal lists give false.
bool hierarchicalPathLess(const QString& a, const QString& b);

} // namespace Tervane3
