// The main scatter plot's drawing side: data and colour states, the colour bar, highlight,
// overlays, isoelastic labels, colour maps, export styling, logarithmic autoscaling and the
// cached point image (rendered once per data change, blitted for a highlight change).
#include "plots/ScatterPlot.h"

#include "calc/IsoelasticLine.h"
#include "core/ContourLevel.h"
#include "plots/ColorMaps.h"
#include "plots/IsoelasticLabel.h"
#include "plots/PlainPointCurve.h"
#include "plots/PlotExportStyle.h"
#include "plots/RoundSpectroCurve.h"

#include <qwt_color_map.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_marker.h>
#include <qwt_scale_map.h>
#include <qwt_plot_shapeitem.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_widget.h>

#include <QCoreApplication>
#include <QImage>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>

using namespace Tervane3;

namespace {

template<typename Item>
Item* findItem(ScatterPlot& plot)
{
    for (QwtPlotItem* item : plot.itemList()) {
        if (auto* found = dynamic_cast<Item*>(item))
            return found;
    }
    return nullptr;
}

bool colorBarShown(ScatterPlot& plot)
{
    return plot.axisEnabled(QwtPlot::yRight) && plot.axisWidget(QwtPlot::yRight)->isColorBarEnabled();
}

// Shows the plot and returns the canvas as painted now.
QImage paintCanvas(ScatterPlot& plot)
{
    if (!plot.isVisible()) {
        plot.resize(500, 400);
        plot.show();
    }
    QCoreApplication::processEvents();
    plot.replot();
    return plot.canvas()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QPoint canvasPixel(ScatterPlot& plot, double x, double y)
{
    return QPoint(static_cast<int>(std::lround(plot.transform(QwtPlot::xBottom, x))),
                  static_cast<int>(std::lround(plot.transform(QwtPlot::yLeft, y))));
}

TEST(ScatterPlotTest, DataStates)
{
    ScatterPlot plot;
    // x and y of different lengths clear the plot instead of drawing.
    plot.setData({1, 2, 3}, {1, 2}, "X", "Y", {}, QString());
    EXPECT_EQ(plot.pointCount(), 0);

    plot.setData({1, 2, 3}, {4, 5, 6}, "Area", "Deformation", {}, QString());
    EXPECT_EQ(plot.pointCount(), 3);
    EXPECT_FALSE(plot.isColored());
    EXPECT_FALSE(colorBarShown(plot));
    EXPECT_EQ(plot.axisTitle(QwtPlot::xBottom).text(), "Area");
    EXPECT_EQ(plot.axisTitle(QwtPlot::yLeft).text(), "Deformation");

    // Colour values that are all equal give the range [v, v + 1].
    plot.setData({1, 2, 3}, {4, 5, 6}, "Area", "Deformation", {4, 4, 4}, "Brightness");
    EXPECT_TRUE(plot.isColored());
    EXPECT_TRUE(colorBarShown(plot));
    EXPECT_EQ(plot.axisTitle(QwtPlot::yRight).text(), "Brightness");
    EXPECT_DOUBLE_EQ(plot.axisScaleDiv(QwtPlot::yRight).lowerBound(), 4.0);
    EXPECT_DOUBLE_EQ(plot.axisScaleDiv(QwtPlot::yRight).upperBound(), 5.0);

    plot.setData({1, 2, 3}, {4, 5, 6}, "Area", "Deformation", {0.5, 2, 1}, "Density");
    EXPECT_DOUBLE_EQ(plot.axisScaleDiv(QwtPlot::yRight).lowerBound(), 0.5);
    EXPECT_DOUBLE_EQ(plot.axisScaleDiv(QwtPlot::yRight).upperBound(), 2.0);
}

TEST(ScatterPlotTest, PointsHiddenAndShownAgainWithColourMap)
{
    ScatterPlot plot;
    plot.setData({1, 2, 3}, {4, 5, 6}, "X", "Y", {1, 2, 3}, "Density");
    auto* colorCurve = findItem<RoundSpectroCurve>(plot);
    ASSERT_NE(colorCurve, nullptr);
    ASSERT_TRUE(colorCurve->isVisible());

    plot.setPointsVisible(false);
    EXPECT_FALSE(colorCurve->isVisible());
    EXPECT_FALSE(colorBarShown(plot));
    EXPECT_FALSE(plot.axisEnabled(QwtPlot::yRight));

    // While hidden the index is only stored.
    plot.setColorMap(2);
    EXPECT_EQ(plot.colorMapIndex(), 2);
    EXPECT_FALSE(colorBarShown(plot));

    plot.setPointsVisible(true);
    EXPECT_TRUE(colorCurve->isVisible());
    EXPECT_TRUE(colorBarShown(plot));
    // The colour bar shows the stored map (Jet+ starts at (100, 0, 180)).
    const QwtColorMap* barMap = plot.axisWidget(QwtPlot::yRight)->colorMap();
    ASSERT_NE(barMap, nullptr);
    EXPECT_EQ(QColor(barMap->rgb(QwtInterval(1, 3), 1)), QColor(100, 0, 180));

    // A new data set while hidden keeps the points hidden.
    plot.setPointsVisible(false);
    plot.setData({1, 2}, {1, 2}, "X", "Y", {}, QString());
    EXPECT_FALSE(findItem<PlainPointCurve>(plot)->isVisible());
}

TEST(ScatterPlotTest, HighlightAndPointSelection)
{
    ScatterPlot plot;
    plot.setData({1, 2, 3}, {4, 5, 6}, "X", "Y", {}, QString());
    QSignalSpy clicked(&plot, &ScatterPlot::pointClicked);
    plot.setHighlightedPoint(2);
    EXPECT_EQ(plot.highlightedPoint(), 2);
    plot.setHighlightedPoint(3);
    EXPECT_EQ(plot.highlightedPoint(), -1);
    plot.setHighlightedPoint(1);
    plot.onPointSelected(-1);
    EXPECT_EQ(plot.highlightedPoint(), -1);
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.at(0).at(0).toInt(), -1);
}

TEST(ScatterPlotTest, OverlaysAndIsoelasticLabels)
{
    ScatterPlot plot;
    const QPolygonF triangle({QPointF(0, 0), QPointF(1, 0), QPointF(0, 1)});
    plot.setFilterPolygon(3, triangle, true);
    plot.setFilterPolygon(3, triangle, false);
    plot.setFilterPolygon(1000000 + 2 * 10000, triangle, true);
    ASSERT_EQ(plot.filterPolygonItems().size(), 2u);
    EXPECT_EQ(plot.filterPolygonItems().at(3)->pen().style(), Qt::DashLine);
    EXPECT_EQ(plot.filterPolygonItems().at(3)->z(), 50.0);

    ContourLevel outer;
    outer.lines = {{{0, 0}, {1, 1}, {2, 0}}, {{5, 5}}};
    ContourLevel inner;
    inner.lines = {{{0.5, 0.5}, {1, 0.8}}};
    plot.setContourLines({outer, inner});
    ASSERT_EQ(plot.contourCurves().size(), 2u);
    EXPECT_EQ(plot.contourCurves()[0]->pen().style(), Qt::DashLine);
    EXPECT_EQ(plot.contourCurves()[1]->pen().style(), Qt::SolidLine);
    EXPECT_TRUE(plot.contourCurves()[0]->testItemAttribute(QwtPlotItem::AutoScale));

    IsoelasticLine stiff{1.0, {{10, 0.01}, {50, 0.02}}};
    IsoelasticLine soft{0.5, {{10, 0.03}, {50, 0.05}}};
    IsoelasticLine single{2.0, {{10, 0.03}}};
    plot.setIsoLines({stiff, soft, single}, true);
    ASSERT_EQ(plot.isoCurves().size(), 2u);
    ASSERT_EQ(plot.isoLabels().size(), 2u);
    EXPECT_EQ(plot.isoLabels()[0]->label().text(), "1.0 kPa");
    EXPECT_EQ(plot.isoLabels()[1]->label().text(), "0.50 kPa");
    EXPECT_EQ(plot.isoLabels()[1]->value(), QPointF(50, 0.05));
    EXPECT_FALSE(plot.isoCurves()[0]->testItemAttribute(QwtPlotItem::AutoScale));
    plot.setIsoLines({stiff}, false);
    EXPECT_EQ(plot.isoCurves().size(), 1u);
    EXPECT_TRUE(plot.isoLabels().empty());
}

// Catches isoelastic lines hidden beneath the point cloud and kPa labels placed at line ends
// outside the autoscaled range, where nobody sees them.
TEST(ScatterPlotTest, IsoelasticLinesDrawAboveThePointsAndLabelInsideTheCanvas)
{
    ScatterPlot plot;
    plot.resize(600, 400);
    plot.setData({10, 20, 30, 40, 50, 60}, {0.01, 0.02, 0.03, 0.04, 0.05, 0.06}, "X", "Y", {}, QString());
    // Runs from inside the shown range far beyond it; the other never crosses it.
    const IsoelasticLine crossing{1.0, {{5, 0.005}, {35, 0.035}, {55, 0.04}, {300, 0.2}}};
    const IsoelasticLine outside{2.0, {{500, 1.0}, {600, 2.0}}};
    plot.setIsoLines({crossing, outside}, true);
    plot.updateLayout();
    plot.replot();

    double highestPoints = -1e9;
    for (QwtPlotItem* item : plot.itemList()) {
        if (dynamic_cast<PlainPointCurve*>(item) || dynamic_cast<RoundSpectroCurve*>(item))
            highestPoints = std::max(highestPoints, item->z());
    }
    ASSERT_EQ(plot.isoCurves().size(), 2u);
    for (QwtPlotCurve* line : plot.isoCurves())
        EXPECT_GT(line->z(), highestPoints);
    ASSERT_EQ(plot.isoLabels().size(), 2u);
    EXPECT_GT(plot.isoLabels()[0]->z(), highestPoints);
    // Contour lines and polygon gates stay on top of the isoelastic lines.
    EXPECT_LT(plot.isoCurves()[0]->z(), 40.0);

    const QwtScaleMap xMap = plot.canvasMap(QwtPlot::xBottom);
    const QwtScaleMap yMap = plot.canvasMap(QwtPlot::yLeft);
    const QRectF canvasRect = plot.canvas()->contentsRect();
    auto* label = dynamic_cast<IsoelasticLabel*>(plot.isoLabels()[0]);
    ASSERT_NE(label, nullptr);
    const std::optional<QPointF> at = label->anchor(xMap, yMap, canvasRect);
    ASSERT_TRUE(at.has_value());
    // The last point of the line inside the shown range, (55, 0.04); the label left of it
    // and below it, whole, inside the canvas.
    EXPECT_NEAR(at->x(), xMap.transform(55), 1e-9);
    EXPECT_NEAR(at->y(), yMap.transform(0.04), 1e-9);
    const QSizeF size = label->label().textSize();
    EXPECT_TRUE(canvasRect.contains(QRectF(at->x() - size.width(), at->y(), size.width(), size.height())));
    auto* away = dynamic_cast<IsoelasticLabel*>(plot.isoLabels()[1]);
    ASSERT_NE(away, nullptr);
    EXPECT_FALSE(away->anchor(xMap, yMap, canvasRect).has_value());
}

// Catches stale overlays: clearing the plot (a dataset that is still loading becomes
// active) used to leave the previous dataset's polygon gates and isoelastic lines on the
// empty plot.
TEST(ScatterPlotTest, ClearingRemovesEveryOverlay)
{
    ScatterPlot plot;
    plot.setData({1, 2, 3}, {4, 5, 6}, "X", "Y", {1, 2, 3}, "Density");
    plot.setFilterPolygon(0, QPolygonF({QPointF(0, 0), QPointF(1, 0), QPointF(0, 1)}), true);
    ContourLevel level;
    level.lines = {{{0, 0}, {1, 1}}};
    plot.setContourLines({level});
    plot.setIsoLines({IsoelasticLine{1.0, {{1, 1}, {2, 2}}}}, true);
    plot.setHighlightedPoint(0);

    plot.clearData();
    EXPECT_EQ(plot.pointCount(), 0);
    EXPECT_FALSE(plot.isColored());
    EXPECT_FALSE(colorBarShown(plot));
    EXPECT_EQ(plot.highlightedPoint(), -1);
    EXPECT_TRUE(plot.contourCurves().empty());
    EXPECT_TRUE(plot.filterPolygonItems().empty());
    EXPECT_TRUE(plot.isoCurves().empty());
    EXPECT_TRUE(plot.isoLabels().empty());
}

TEST(ScatterPlotTest, ColourMapEnds)
{
    struct Ends
    {
        int index;
        QColor first, last;
    };
    const Ends cases[] = {
        {0, QColor(68, 1, 84), QColor(253, 231, 37)},  {1, QColor(0, 0, 255), QColor(255, 0, 0)},
        {2, QColor(100, 0, 180), QColor(255, 0, 0)},   {3, QColor(13, 8, 135), QColor(240, 249, 33)},
        {4, QColor(0, 68, 108), QColor(254, 204, 0)},  {5, QColor(0, 0, 0), QColor(255, 255, 255)},
        {9, QColor(68, 1, 84), QColor(253, 231, 37)},  {-1, QColor(68, 1, 84), QColor(253, 231, 37)},
    };
    for (const Ends& c : cases) {
        SCOPED_TRACE(c.index);
        std::unique_ptr<QwtLinearColorMap> map(createColorMap(c.index));
        const QwtInterval range(0, 1);
        EXPECT_EQ(QColor(map->rgb(range, 0.0)), c.first);
        EXPECT_EQ(QColor(map->rgb(range, 1.0)), c.last);
    }
    // A stop in the middle: Jet is green at one half.
    std::unique_ptr<QwtLinearColorMap> jet(createColorMap(1));
    EXPECT_EQ(QColor(jet->rgb(QwtInterval(0, 1), 0.5)), QColor(0, 255, 0));
}

TEST(ScatterPlotTest, ExportStyleRoundTripKeepsTheColourAxisUsable)
{
    ScatterPlot plot;
    plot.setData({1, 2}, {3, 4}, "X", "Y", {}, QString());
    ASSERT_FALSE(plot.axisEnabled(QwtPlot::yRight));
    const PlotStyleSnapshot snapshot = applyExportStyle(&plot);
    EXPECT_TRUE(plot.axisEnabled(QwtPlot::yRight));
    EXPECT_FALSE(plot.axisScaleDraw(QwtPlot::yRight)->hasComponent(QwtAbstractScaleDraw::Labels));
    EXPECT_EQ(plot.canvasBackground().color(), QColor(Qt::white));
    restorePlotStyle(&plot, snapshot);
    EXPECT_FALSE(plot.axisEnabled(QwtPlot::yRight));

    plot.setData({1, 2}, {3, 4}, "X", "Y", {1, 2}, "Density");
    EXPECT_TRUE(plot.axisEnabled(QwtPlot::yRight));
    EXPECT_TRUE(plot.axisScaleDraw(QwtPlot::yRight)->hasComponent(QwtAbstractScaleDraw::Labels));
    EXPECT_TRUE(plot.axisScaleDraw(QwtPlot::yRight)->hasComponent(QwtAbstractScaleDraw::Ticks));
}

// Catches the logarithmic autoscale over values at or below zero, which Qwt turns into the
// range 1e-100 .. 1e20: the axis must span the positive values only.
TEST(ScatterPlotTest, LogAxisAutoscalesFromPositiveValues)
{
    ScatterPlot plot;
    plot.setAxisScaleType(QwtPlot::xBottom, 1);
    plot.setData({-5, 0, 2, 30, 400}, {1, 2, 3, 4, 5}, "X", "Y", {}, QString());
    plot.replot();
    const QwtScaleDiv& x = plot.axisScaleDiv(QwtPlot::xBottom);
    EXPECT_GE(x.lowerBound(), 0.1);
    EXPECT_LE(x.lowerBound(), 2.0);
    EXPECT_GE(x.upperBound(), 400.0);
    EXPECT_LE(x.upperBound(), 10000.0);

    // No positive value at all: the axis keeps a usable range instead of 1e-100 .. 1e20.
    plot.setData({-5, 0}, {1, 2}, "X", "Y", {}, QString());
    plot.replot();
    EXPECT_GT(plot.axisScaleDiv(QwtPlot::xBottom).lowerBound(), 1e-50);
    EXPECT_LT(plot.axisScaleDiv(QwtPlot::xBottom).upperBound(), 1e10);
}

TEST(ScatterPlotTest, PointsAreDrawnWhereTheyAre)
{
    ScatterPlot plot;
    plot.setData({0, 10, 5}, {0, 10, 5}, "X", "Y", {}, QString());
    const QImage canvas = paintCanvas(plot);
    const QColor onPoint = canvas.pixelColor(canvasPixel(plot, 5, 5));
    const QColor empty = canvas.pixelColor(canvasPixel(plot, 2.5, 7.5));
    EXPECT_EQ(empty, QColor(Qt::white));
    // The translucent fill (0, 68, 108, 100) over white.
    EXPECT_LT(onPoint.red(), 200);
    EXPECT_GT(onPoint.blue(), onPoint.red());

    // Coloured: the highest value is drawn in the map's last colour (Viridis yellow).
    plot.setData({0, 10, 5}, {0, 10, 5}, "X", "Y", {0, 0, 1}, "Density");
    const QImage colored = paintCanvas(plot);
    const QColor top = colored.pixelColor(canvasPixel(plot, 5, 5));
    EXPECT_NEAR(top.red(), 253, 6);
    EXPECT_NEAR(top.green(), 231, 6);
    EXPECT_NEAR(top.blue(), 37, 6);

    // Another colour map repaints the points in its colours (Jet ends in red).
    plot.setColorMap(1);
    const QColor red = paintCanvas(plot).pixelColor(canvasPixel(plot, 5, 5));
    EXPECT_NEAR(red.red(), 255, 6);
    EXPECT_NEAR(red.green(), 0, 6);
    EXPECT_NEAR(red.blue(), 0, 6);
    plot.setColorMap(0);
    const QColor yellow = paintCanvas(plot).pixelColor(canvasPixel(plot, 5, 5));
    EXPECT_NEAR(yellow.green(), 231, 6);
}

TEST(ScatterPlotTest, HighlightChangeReusesTheCachedPoints)
{
    ScatterPlot plot;
    std::vector<double> x(2000), y(2000), c(2000);
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = static_cast<double>(i % 50);
        y[i] = static_cast<double>(i / 50);
        c[i] = static_cast<double>(i);
    }
    plot.setData(x, y, "X", "Y", c, "Index");
    auto* colorCurve = findItem<RoundSpectroCurve>(plot);
    paintCanvas(plot);
    const auto rendered = colorCurve->pointRaster().renderCount();
    ASSERT_GE(rendered, 1u);

    plot.setHighlightedPoint(10);
    const QImage withHighlight = paintCanvas(plot);
    EXPECT_EQ(colorCurve->pointRaster().renderCount(), rendered);
    // The highlight (254, 204, 0) is drawn over the cached points.
    EXPECT_EQ(withHighlight.pixelColor(canvasPixel(plot, x[10], y[10])), QColor(254, 204, 0));

    plot.setData(x, y, "X", "Y", c, "Index");
    paintCanvas(plot);
    EXPECT_EQ(colorCurve->pointRaster().renderCount(), rendered + 1);
}

// Catches a current event that vanished in a density plot: the highlight's fill is the top
// colour of the ZODI map, so without a ring of its own it could not be told from the densest
// points around it.
TEST(ScatterPlotTest, HighlightStandsOutOnThePointsOfEveryColourMap)
{
    ScatterPlot plot;
    std::vector<double> x, y, c;
    for (int i = 0; i < 21; ++i) {
        for (int j = 0; j < 21; ++j) {
            x.push_back(i * 0.5);
            y.push_back(j * 0.5);
            c.push_back(1.0); // every point in the map's top colour
        }
    }
    c[0] = 0.0;
    plot.setData(x, y, "X", "Y", c, "Density");
    const size_t centre = 10 * 21 + 10; // (5, 5)
    plot.setHighlightedPoint(static_cast<int>(centre));
    for (int map = 0; map < 6; ++map) {
        SCOPED_TRACE(map);
        plot.setColorMap(map);
        const QImage canvas = paintCanvas(plot);
        const QPoint p = canvasPixel(plot, x[centre], y[centre]);
        const QColor fill = canvas.pixelColor(p);
        EXPECT_EQ(fill, QColor(254, 204, 0));
        // The ring, 6 pixels from the centre on every side, is dark whatever is around it.
        for (const QPoint& offset : {QPoint(6, 0), QPoint(-6, 0), QPoint(0, 6), QPoint(0, -6)}) {
            const QColor ring = canvas.pixelColor(p + offset);
            EXPECT_LT(ring.lightness(), 100) << offset.x() << "," << offset.y();
        }
    }
}

} // namespace
