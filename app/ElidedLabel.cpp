#include "app/ElidedLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

#include <algorithm>

namespace Tervane3 {

namespace {
// Room asked for when the layout has it; beyond this a text is elided rather than stretching
// the window.
constexpr int kPreferredCharacters = 40;
constexpr int kMinimumCharacters = 8;

QString singleLine(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}
} // namespace

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

QString ElidedLabel::shownText() const
{
    // One line: a line break inside a name would make the label grow in height instead.
    const QString oneLine = singleLine(text());
    const int room = std::max(0, contentsRect().width() - 2 * margin() - std::max(indent(), 0));
    const QFontMetrics metrics = fontMetrics();
    const bool pieces = !piecePart.isEmpty() && text() == pieceHead + piecePart + pieceTail;
    if (!pieces || metrics.horizontalAdvance(oneLine) <= room)
        return metrics.elidedText(oneLine, Qt::ElideMiddle, room);

    const QString head = singleLine(pieceHead);
    const QString part = singleLine(piecePart);
    const QString tail = singleLine(pieceTail);
    const QString ellipsis(QChar(0x2026));
    // Widths of joined texts differ from the sums of their parts by kerning: the part's room
    // shrinks until the joined line fits.
    for (int partRoom = room - metrics.horizontalAdvance(head) - metrics.horizontalAdvance(tail);
         partRoom >= metrics.horizontalAdvance(ellipsis); partRoom -= 2) {
        const QString shown = head + metrics.elidedText(part, Qt::ElideRight, partRoom) + tail;
        if (metrics.horizontalAdvance(shown) <= room)
            return shown;
    }
    return metrics.elidedText(head + ellipsis + tail, Qt::ElideRight, room);
}

void ElidedLabel::setTextElidingPart(const QString& head, const QString& part, const QString& tail)
{
    pieceHead = head;
    piecePart = part;
    pieceTail = tail;
    setText(head + part + tail);
    // The same text with other pieces is no change to QLabel: the line is drawn anew.
    update();
}

QSize ElidedLabel::sizeHint() const
{
    const QSize least = minimumSizeHint();
    return QSize(least.width() + fontMetrics().averageCharWidth() * (kPreferredCharacters - kMinimumCharacters),
                 least.height());
}

QSize ElidedLabel::minimumSizeHint() const
{
    const QFontMetrics metrics(font());
    const QMargins margins = contentsMargins();
    const int frame = 2 * frameWidth();
    const int width = metrics.averageCharWidth() * kMinimumCharacters + 2 * margin() + margins.left()
                      + margins.right() + frame;
    const int height = metrics.height() + 2 * margin() + margins.top() + margins.bottom() + frame;
    return QSize(width, height);
}

bool ElidedLabel::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (shownText() != singleLine(text()))
            QToolTip::showText(help->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

void ElidedLabel::paintEvent(QPaintEvent* event)
{
    // The frame (and a style sheet's box) as QLabel draws it, then the elided line.
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(margin() + std::max(indent(), 0), margin(), -margin(), -margin());
    style()->drawItemText(&painter, area, static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment())),
                          palette(), isEnabled(), shownText(), foregroundRole());
}

} // namespace Tervane3
