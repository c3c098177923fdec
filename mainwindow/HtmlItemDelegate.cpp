// Rich-text items of the dataset views.
#include "mainwindow/HtmlItemDelegate.h"

#include "app/HtmlItemPainting.h"

namespace Tervane3 {

void HtmlItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    paintHtmlItem(painter, opt, false);
}

QSize HtmlItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    return htmlItemSize(opt);
}

} // namespace Tervane3
