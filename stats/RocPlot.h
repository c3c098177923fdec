// The plot of one ROC curve: chance line, shaded area, curve, AUC label and the optimal
// point with its threshold. GUI thread only.
#pragma once

#include <QString>

class QwtPlot;

namespace Tervane3 {

struct RocResult;

// A new plot without parent, 0 .. 1 on both axes, with nearest-point tooltips (rates and
// threshold of each curve point).
QwtPlot* buildRocPlot(const QString& title, const RocResult& roc);

} // namespace Tervane3
