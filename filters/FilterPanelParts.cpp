// Styles, separator and icon of the filter panel.
#include "filters/FilterPanelParts.h"

#include <QColor>
#include <QHBoxLayout>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <QWidget>

namespace Tervane3 {

QString plainButtonStyle()
{
    return QStringLiteral("QPushButton { padding: 2px 8px; min-height: 16px; }");
}

QString highlightedButtonStyle()
{
    return QStringLiteral("QPushButton { padding: 2px 8px; min-height: 16px; background-color: #a6d7d5; "
                          "color: #00abad; border: 1px solid #00abad; font-weight: bold; }");
}

QString removeButtonStyle()
{
    return QStringLiteral("QPushButton { padding: 0; min-height: 24px; min-width: 20px; max-width: 20px; "
                          "font-size: 16px; color: #606468; border-radius: 4px; }"
                          "QPushButton:hover { color: #d32f2f; background-color: #fde8e8; border-color: #d32f2f; }");
}

QWidget* createRuleSeparator(QWidget* parent)
{
    auto* separator = new QWidget(parent);
    separator->setObjectName(QStringLiteral("ruleSeparator"));
    auto* layout = new QHBoxLayout(separator);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->addStretch(1);
    auto* line = new QWidget(separator);
    line->setFixedSize(140, 1);
    line->setStyleSheet(QStringLiteral("background-color: #c8c8c8;"));
    layout->addWidget(line);
    layout->addStretch(1);
    return separator;
}

QPixmap createPolygonGateIcon(int size, double devicePixelRatio)
{
    const int pixels = static_cast<int>(size * devicePixelRatio);
    QPixmap pixmap(pixels, pixels);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(QStringLiteral("#a6d7d5")));
    painter.setPen(QPen(QColor(QStringLiteral("#00abad")), 1.4, Qt::SolidLine));
    const double s = size;
    const QPolygonF outline({QPointF(0.08 * s, 0.40 * s), QPointF(0.30 * s, 0.12 * s), QPointF(0.62 * s, 0.05 * s),
                             QPointF(0.92 * s, 0.28 * s), QPointF(0.70 * s, 0.48 * s), QPointF(0.95 * s, 0.78 * s),
                             QPointF(0.55 * s, 0.92 * s), QPointF(0.18 * s, 0.72 * s)});
    painter.drawPolygon(outline, Qt::OddEvenFill);
    return pixmap;
}

} // namespace Tervane3
