// Rich-text item painting.
#include "app/HtmlItemPainting.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionViewItem>
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

void paintHtmlItem(QPainter* painter, const QStyleOptionViewItem& option, bool withPanel)
{
    painter->save();
    if (option.state & QStyle::State_Selected)
        painter->fillRect(option.rect, option.palette.brush(option.palette.currentColorGroup(), QPalette::Highlight));
    QTextDocument document;
    layOut(document, option);
    if (withPanel) {
        QStyleOptionViewItem panel(option);
        panel.text.clear();
        QStyle* style = panel.widget ? panel.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &panel, painter, panel.widget);
    }
    painter->translate(option.rect.topLeft() + QPoint(4, 0));
    document.drawContents(painter, QRectF(0, 0, option.rect.width() - 8, option.rect.height()));
    painter->restore();
}

QSize htmlItemSize(const QStyleOptionViewItem& option, int minimumHeight)
{
    QTextDocument document;
    layOut(document, option);
    document.setTextWidth(-1);
    return QSize(static_cast<int>(document.idealWidth()) + 8,
                 std::max(static_cast<int>(document.size().height()), minimumHeight));
}

} // namespace Tervane3
