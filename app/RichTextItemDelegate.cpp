// Rich-text items.
#include "app/RichTextItemDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QTextDocument>

#include <algorithm>

namespace Tervane3 {

namespace {

void layOut(QTextDocument& document, const QStyleOptionViewItem& option)
{
    document.setDefaultFont(option.font);
    document.setHtml(option.text);
}

} // namespace

RichTextItemDelegate::RichTextItemDelegate(Panel drawnPanel, QObject* parent)
    : QStyledItemDelegate(parent)
    , panel(drawnPanel)
{
}

void RichTextItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    painter->save();
    if (opt.state & QStyle::State_Selected)
        painter->fillRect(opt.rect, opt.palette.brush(opt.palette.currentColorGroup(), QPalette::Highlight));
    QTextDocument document;
    layOut(document, opt);
    if (panel == Panel::Drawn) {
        QStyleOptionViewItem bare(opt);
        bare.text.clear();
        QStyle* style = bare.widget ? bare.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &bare, painter, bare.widget);
    }
    painter->translate(opt.rect.topLeft() + QPoint(4, 0));
    document.drawContents(painter, QRectF(0, 0, opt.rect.width() - 8, opt.rect.height()));
    painter->restore();
}

QSize RichTextItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    QTextDocument document;
    layOut(document, opt);
    document.setTextWidth(-1);
    const int textHeight = static_cast<int>(document.size().height());
    return QSize(static_cast<int>(document.idealWidth()) + 8,
                 panel == Panel::Drawn ? std::max(textHeight, opt.decorationSize.height()) : textHeight);
}

} // namespace Tervane3
