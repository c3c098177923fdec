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
    QString oneLine = text();
    oneLine.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const int room = std::max(0, contentsRect().width() - 2 * margin() - std::max(indent(), 0));
    return fontMetrics().elidedText(oneLine, Qt::ElideMiddle, room);
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
        QString oneLine = text();
        oneLine.replace(QLatin1Char('\n'), QLatin1Char(' '));
        if (shownText() != oneLine)
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
