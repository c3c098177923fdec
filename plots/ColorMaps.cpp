// Stops of the colour maps. All colours are opaque; the stop positions are fractions of the
// colour range.
#include "plots/ColorMaps.h"

#include <qwt_color_map.h>

namespace Tervane3 {

QwtLinearColorMap* createColorMap(int index)
{
    QwtLinearColorMap* map = nullptr;
    switch (index) {
    case 1: // Jet
        map = new QwtLinearColorMap(QColor(0, 0, 255), QColor(255, 0, 0), QwtColorMap::RGB);
        map->addColorStop(0.25, QColor(0, 255, 255));
        map->addColorStop(0.5, QColor(0, 255, 0));
        map->addColorStop(0.75, QColor(255, 255, 0));
        break;
    case 2: // Jet+
        map = new QwtLinearColorMap(QColor(100, 0, 180), QColor(Qt::red), QwtColorMap::RGB);
        map->addColorStop(0.2, QColor(Qt::blue));
        map->addColorStop(0.4, QColor(Qt::cyan));
        map->addColorStop(0.6, QColor(Qt::green));
        map->addColorStop(0.8, QColor(Qt::yellow));
        break;
    case 3: // Plasma
        map = new QwtLinearColorMap(QColor(13, 8, 135), QColor(240, 249, 33), QwtColorMap::RGB);
        map->addColorStop(0.25, QColor(126, 3, 168));
        map->addColorStop(0.5, QColor(204, 71, 120));
        map->addColorStop(0.75, QColor(248, 149, 64));
        break;
    case 4: // ZODI
        map = new QwtLinearColorMap(QColor(0, 68, 108), QColor(254, 204, 0), QwtColorMap::RGB);
        map->addColorStop(0.25, QColor(0, 171, 173));
        map->addColorStop(0.5, QColor(104, 193, 194));
        map->addColorStop(0.75, QColor(166, 215, 213));
        break;
    case 5: // Grayscale
        map = new QwtLinearColorMap(QColor(Qt::black), QColor(Qt::white), QwtColorMap::RGB);
        break;
    default: // Viridis
        map = new QwtLinearColorMap(QColor(68, 1, 84), QColor(253, 231, 37), QwtColorMap::RGB);
        map->addColorStop(0.25, QColor(59, 82, 139));
        map->addColorStop(0.5, QColor(33, 145, 140));
        map->addColorStop(0.75, QColor(94, 201, 98));
        break;
    }
    return map;
}

} // namespace Tervane3
