// The colour maps of the point colouring, in the order of the "Color Map" menu. Shared by
// the main scatter plot, the plot export and the combine plots.
#pragma once

class QwtLinearColorMap;

namespace Tervane3 {

// Index order, as the menu lists them: 0 "Viridis", 1 "Jet", 2 "Jet+", 3 "Plasma",
// 4 "ZODI", 5 "Grayscale".
constexpr int colorMapCount = 6;

// A new RGB linear colour map for the index, owned by the caller (Qwt items and scale
// widgets take ownership when given one). Any index outside the list gives Viridis.
QwtLinearColorMap* createColorMap(int index);

} // namespace Tervane3
