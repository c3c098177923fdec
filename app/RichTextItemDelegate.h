// Item delegate for list and tree items whose text is HTML: the highlight fill for selected
// items, optionally the style's item panel, then the text laid out in the item's font.
// Shared by the dataset views and the category panels. Stateless; GUI thread only.
#pragma once

#include <QStyledItemDelegate>

namespace Tervane3 {

class RichTextItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    enum class Panel {
        Hidden, // no icon, check box, focus frame or panel; selected text keeps its colour
        Drawn,  // the style draws the item's panel (without text) under the laid-out text
    };

    // What becomes of text wider than its item.
    enum class Overflow {
        Clip,  // cut at the clip; the size hint asks for the whole width (the view scrolls)
        Elide, // cut at the end so that it ends in "…" inside the item; the size hint asks for
               // no width, so the items take the view's width and it never scrolls sideways
    };

    explicit RichTextItemDelegate(Panel panel, QObject* parent = nullptr, Overflow overflow = Overflow::Clip);

    // The text starts 4 pixels in from the left and is clipped 4 pixels before the right edge.
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The laid-out text's ideal width plus 8 (no width when eliding) by its height; with the
    // panel drawn, at least the height of the decoration.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The text that paint draws for this option and index, as plain text.
    QString shownText(const QStyleOptionViewItem& option, const QModelIndex& index) const;

private:
    Panel panel;
    Overflow overflow;
};

} // namespace Tervane3
