// Draws the items of the dataset list and the folder tree as rich text (HTML): the bold
// dataset name with its summary, folder names escaped as text. Stateless.
#pragma once

#include <QStyledItemDelegate>

namespace Tervane3 {

class HtmlItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The highlight fill for selected items, then the text laid out as HTML in the item's
    // font, 4 pixels in from the left and clipped 4 pixels before the right edge. Icons,
    // check boxes and focus frames are not drawn; selected text keeps its normal colour.
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The laid-out text's ideal width plus 8 by its height.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace Tervane3
