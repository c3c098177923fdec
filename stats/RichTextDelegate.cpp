// Rich-text items of the category panels.
#include "stats/RichTextDelegate.h"

#include "app/HtmlItemPainting.h"

namespace Tervane3 {

void RichTextDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    paintHtmlItem(painter, opt, true);
}

QSize RichTextDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    return htmlItemSize(opt, opt.decorationSize.height());
}

} // namespace Tervane3
