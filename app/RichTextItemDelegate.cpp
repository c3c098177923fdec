// Rich-text items.
#include "app/RichTextItemDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <memory>

namespace Tervane3 {

namespace {

void layOut(QTextDocument& document, const QStyleOptionViewItem& option)
{
    document.setDefaultFont(option.font);
    document.setHtml(option.text);
}

// Keeps the first `kept` characters and appends "…" in the format of the last one kept.
void cutAt(QTextDocument& document, int kept)
{
    QTextCursor cursor(&document);
    cursor.setPosition(kept);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.insertText(QString(QChar(0x2026)));
}

// Cuts the document at the end so that its ideal width (margins included) fits `room`; a
// bare "…" when nothing else fits.
void elideToWidth(QTextDocument& document, qreal room)
{
    if (document.idealWidth() <= room)
        return;
    int fitting = 0;
    int tooMany = document.characterCount() - 1; // the whole text does not fit
    while (tooMany - fitting > 1) {
        const int middle = (fitting + tooMany) / 2;
        const std::unique_ptr<QTextDocument> trial(document.clone());
        cutAt(*trial, middle);
        if (trial->idealWidth() <= room)
            fitting = middle;
        else
            tooMany = middle;
    }
    cutAt(document, fitting);
}

} // namespace

RichTextItemDelegate::RichTextItemDelegate(Panel drawnPanel, QObject* parent, Overflow textOverflow)
    : QStyledItemDelegate(parent)
    , panel(drawnPanel)
    , overflow(textOverflow)
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
    if (overflow == Overflow::Elide)
        elideToWidth(document, opt.rect.width() - 8);
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
    const int width = overflow == Overflow::Elide ? 0 : static_cast<int>(document.idealWidth()) + 8;
    return QSize(width, panel == Panel::Drawn ? std::max(textHeight, opt.decorationSize.height()) : textHeight);
}

QString RichTextItemDelegate::shownText(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    QTextDocument document;
    layOut(document, opt);
    if (overflow == Overflow::Elide)
        elideToWidth(document, opt.rect.width() - 8);
    return document.toPlainText();
}

} // namespace Tervane3
