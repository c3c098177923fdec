// Painting of list and tree items whose text is HTML: shared by the item delegates of the
// dataset views and of the category panels. GUI thread only.
#pragma once

#include <QSize>

class QPainter;
class QStyleOptionViewItem;

namespace Tervane3 {

// The highlight fill for a selected item, then (withPanel: the style's item panel drawn
// without text) the option's text laid out as HTML in the option's font, 4 pixels in from
// the left and clipped 4 pixels before the right edge. `option` is already initialised for
// its index.
void paintHtmlItem(QPainter* painter, const QStyleOptionViewItem& option, bool withPanel);

// The laid-out text's ideal width plus 8 by its height, at least minimumHeight high.
QSize htmlItemSize(const QStyleOptionViewItem& option, int minimumHeight = 0);

} // namespace Tervane3
