// Rich-text items of the dataset views.
#include "mainwindow/HtmlItemDelegate.h"

#include <QPainter>
#include <QTextDocument>

namespace Tervane3 {

void HtmlItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    painter->save();
    if (opt.state & QStyle::State_Selected)
        painter->fillRect(opt.rect, opt.palette.brush(opt.palette.currentColorGroup(), QPalette::Highlight));
    QTextDocument document;
    document.setDefaultFont(opt.font);
    document.setHtml(opt.text);
    painter->translate(opt.rect.topLeft() + QPoint(4, 0));
    document.drawContents(painter, QRectF(0, 0, opt.rect.width() - 8, opt.rect.height()));
    painter->restore();
}

QSize HtmlItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    QTextDocument document;
    document.setDefaultFont(opt.font);
    document.setHtml(opt.text);
    document.setTextWidth(-1);
    return QSize(static_cast<int>(document.idealWidth()) + 8, static_cast<int>(document.size().height()));
}

} // namespace Tervane3
