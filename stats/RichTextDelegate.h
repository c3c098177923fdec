// Paints the items of a category panel's dataset list as HTML: the dataset name with its
// coloured replicate tag. Stateless.
#pragma once

#include <QStyledItemDelegate>

namespace Tervane3 {

class RichTextDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The highlight fill for selected items, the style's item panel without text, then the
    // text laid out as HTML, 4 pixels in and clipped 4 pixels before the right edge.
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The laid-out text's ideal width plus 8, by its height or the decoration's height,
    // whichever is larger.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace Tervane3
