// Small pieces shared by the filter panel's rows, group boxes and dock: the button styles,
// the short separator line between rule rows and the polygon-gate icon.
#pragma once

#include <QPixmap>
#include <QString>

class QWidget;

namespace Tervane3 {

// The all-datasets buttons: plain, or highlighted while other datasets differ.
QString plainButtonStyle();
QString highlightedButtonStyle();
// The "×" of rule rows and group boxes.
QString removeButtonStyle();

// A short centred grey line (140 × 1 px) with 4 px above and below.
QWidget* createRuleSeparator(QWidget* parent);

// The gate icon of polygon rows: size logical pixels square at the given pixel ratio.
QPixmap createPolygonGateIcon(int size, double devicePixelRatio);

} // namespace Tervane3
