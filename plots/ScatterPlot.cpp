// Drawing side of the main scatter plot: construction, points and colouring, the colour
// bar, highlight, polygon overlays, contour lines and isoelastic lines.
#include "plots/ScatterPlot.h"

#include "calc/IsoelasticLine.h"
#include "core/ContourLevel.h"
#include "core/FreshPages.h"
#include "core/PseudoLogScaleEngine.h"
#include "plots/ColorMaps.h"
#include "plots/IsoelasticItems.h"
#include "plots/PlainPointCurve.h"
#include "plots/RoundSpectroCurve.h"

#include <qwt_color_map.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_panner.h>
#include <qwt_plot_shapeitem.h>
#include <qwt_scale_engine.h>
#include <qwt_scale_widget.h>
#include <qwt_series_data.h>
#include <qwt_symbol.h>
#include <qwt_text.h>

#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Tervane3 {

namespace {

// Bounds of the finite values (positive ones only for a logarithmic axis); an empty
// interval (lo > hi) when there is none.
void valueBounds(const std::vector<double>& values, bool positiveOnly, double& lo, double& hi)
{
    lo = std::numeric_limits<double>::infinity();
    hi = -std::numeric_limits<double>::infinity();
    for (double v : values) {
        if (!std::isfinite(v) || (positiveOnly && v <= 0.0))
            continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
}

// The point curves read the plot's own vectors: handing Qwt a copy of a million points as
// QPointF or QwtPoint3D cost 16 or 24 MB of fresh memory, and its filling, on every update.
// The plot keeps the vectors (and the series, owned by their curves, never outlive them).
class PlottedPoints : public QwtSeriesData<QPointF>
{
public:
    PlottedPoints(const std::vector<double>* xs, const std::vector<double>* ys)
        : x(xs)
        , y(ys)
    {
    }
    size_t size() const override { return std::min(x->size(), y->size()); }
    QPointF sample(size_t i) const override { return QPointF((*x)[i], (*y)[i]); }
    // Only asked while the curve has no autoscaling bounds of its own, i.e. before the first
    // points: computed afresh, since the vectors change under the series.
    QRectF boundingRect() const override { return qwtBoundingRect(*this); }

private:
    const std::vector<double>* x;
    const std::vector<double>* y;
};

// (x, y, colour value) of every point while the points are coloured; empty otherwise.
class PlottedColoredPoints : public QwtSeriesData<QwtPoint3D>
{
public:
    PlottedColoredPoints(const std::vector<double>* xs, const std::vector<double>* ys,
                         const std::vector<double>* zs)
        : x(xs)
        , y(ys)
        , z(zs)
    {
    }
    size_t size() const override
    {
        return x->size() == y->size() && x->size() == z->size() ? x->size() : 0;
    }
    QwtPoint3D sample(size_t i) const override { return QwtPoint3D((*x)[i], (*y)[i], (*z)[i]); }
    QRectF boundingRect() const override { return qwtBoundingRect(*this); }

private:
    const std::vector<double>* x;
    const std::vector<double>* y;
    const std::vector<double>* z;
};

template<typename Item>
void detachAll(std::vector<Item*>& items)
{
    for (Item* item : items) {
        item->detach();
        delete item;
    }
    items.clear();
}

QwtSymbol* ellipseSymbol(const QColor& brush, const QColor& pen, int size, double penWidth)
{
    return new QwtSymbol(QwtSymbol::Ellipse, QBrush(brush), QPen(pen, penWidth, Qt::SolidLine),
                         QSize(size, size));
}

} // namespace

ScatterPlot::ScatterPlot(QWidget* parent)
    : QwtPlot(parent)
{
    setupPlot();
}

ScatterPlot::~ScatterPlot() = default;

void ScatterPlot::setupPlot()
{
    setTitle(QStringLiteral("Scatter Plot"));
    setCanvasBackground(Qt::white);

    grid = new QwtPlotGrid;
    grid->setPen(QPen(Qt::gray, 0.0, Qt::DotLine));
    grid->attach(this);

    plainCurve = new PlainPointCurve;
    plainCurve->setStyle(QwtPlotCurve::NoCurve);
    plainCurve->setSymbol(ellipseSymbol(QColor(0, 68, 108, 100), QColor(0, 68, 108, 255), 6, 1));
    plainCurve->setData(new PlottedPoints(&xValues, &yValues));
    plainCurve->attach(this);

    colorCurve = new RoundSpectroCurve;
    colorCurve->setPenWidth(6);
    colorCurve->setSamples(new PlottedColoredPoints(&xValues, &yValues, &colorValues));
    colorCurve->attach(this);
    colorCurve->hide();

    highlightCurve = new QwtPlotCurve;
    highlightCurve->setStyle(QwtPlotCurve::NoCurve);
    // A dark ring around the fill: the fill alone is the top colour of the ZODI map and
    // close to that of Viridis and Plasma, so the current event vanished in the densest
    // region of a density-coloured plot.
    highlightCurve->setSymbol(ellipseSymbol(QColor(254, 204, 0, 255), QColor(35, 38, 46, 255), 12, 2));
    // Always one of the plotted points: it never widens the range (nor brings a value
    // below zero into a logarithmic autoscale).
    highlightCurve->setItemAttribute(QwtPlotItem::AutoScale, false);
    highlightCurve->attach(this);
    highlightCurve->hide();

    const QPen dashedRed(QColor(255, 0, 0, 200), 2, Qt::DashLine);
    drawingCurve = new QwtPlotCurve;
    drawingCurve->setStyle(QwtPlotCurve::Lines);
    drawingCurve->setPen(dashedRed);
    drawingCurve->setSymbol(ellipseSymbol(Qt::red, Qt::red, 8, 1));
    drawingCurve->setZ(100);
    drawingCurve->attach(this);
    drawingCurve->hide();

    editCurve = new QwtPlotCurve;
    editCurve->setStyle(QwtPlotCurve::Lines);
    editCurve->setPen(dashedRed);
    editCurve->setSymbol(ellipseSymbol(Qt::red, Qt::red, 8, 1));
    editCurve->setZ(101);
    editCurve->attach(this);
    editCurve->hide();

    enableAxis(QwtPlot::yRight, false);

    panner = new QwtPlotPanner(canvas());
    panner->setMouseButton(Qt::MiddleButton);
    canvas()->installEventFilter(this);
    canvas()->setFocusPolicy(Qt::StrongFocus);
    canvas()->setMouseTracking(true);
}

bool ScatterPlot::isColored() const
{
    return !colorValues.empty() && colorValues.size() == xValues.size();
}

void ScatterPlot::showColorBar(bool on)
{
    QwtScaleWidget* bar = axisWidget(QwtPlot::yRight);
    if (!on) {
        bar->setColorBarEnabled(false);
        enableAxis(QwtPlot::yRight, false);
        return;
    }
    bar->setColorBarEnabled(true);
    bar->setColorBarWidth(10);
    bar->setColorMap(QwtInterval(colorMin, colorMax), createColorMap(colorMap));
    setAxisScale(QwtPlot::yRight, colorMin, colorMax);
    enableAxis(QwtPlot::yRight, true);
}

void ScatterPlot::updatePointBounds()
{
    // Every change of the points or of an axis transform passes here.
    pickIndex.reset();
    double x0, x1, y0, y1;
    valueBounds(xValues, scaleModes[QwtPlot::xBottom] == 1, x0, x1);
    valueBounds(yValues, scaleModes[QwtPlot::yLeft] == 1, y0, y1);
    // A negative width or height leaves that axis out of the autoscale.
    QRectF bounds(x0 <= x1 ? x0 : 1.0, y0 <= y1 ? y0 : 1.0, x0 <= x1 ? x1 - x0 : -1.0,
                  y0 <= y1 ? y1 - y0 : -1.0);
    plainCurve->setAutoScaleBounds(bounds);
    colorCurve->setAutoScaleBounds(bounds);
}

void ScatterPlot::setData(const std::vector<double>& x, const std::vector<double>& y,
                          const QString& xTitle, const QString& yTitle,
                          const std::vector<double>& colors, const QString& colorTitle)
{
    copyToFreshPages(xValues, x.data(), x.size());
    copyToFreshPages(yValues, y.data(), y.size());
    copyToFreshPages(colorValues, colors.data(), colors.size());
    if (y.size() != x.size() || x.empty()) {
        clearData();
        return;
    }

    setAxisTitle(QwtPlot::xBottom, xTitle);
    setAxisTitle(QwtPlot::yLeft, yTitle);
    updatePointBounds();
    plainCurve->invalidateCache();
    colorCurve->invalidateCache();

    // The curves' series read the vectors just stored.
    plainCurve->itemChanged();
    colorCurve->itemChanged();
    if (isColored()) {
        plainCurve->hide();
        const auto [lo, hi] = std::minmax_element(colors.begin(), colors.end());
        colorMin = *lo;
        colorMax = *hi == *lo ? *lo + 1.0 : *hi;
        colorCurve->setColorMap(createColorMap(colorMap));
        colorCurve->setColorRange(QwtInterval(colorMin, colorMax));
        colorCurve->show();
        setAxisTitle(QwtPlot::yRight, colorTitle);
        showColorBar(true);
    } else {
        colorCurve->hide();
        plainCurve->show();
        showColorBar(false);
    }
    if (pointsHidden) {
        plainCurve->hide();
        colorCurve->hide();
        showColorBar(false);
    }
    replot();
}

void ScatterPlot::clearData()
{
    // Their storage too: a million points are 8 MB per vector.
    std::vector<double>().swap(xValues);
    std::vector<double>().swap(yValues);
    std::vector<double>().swap(colorValues);
    plainCurve->itemChanged();
    colorCurve->itemChanged();
    plainCurve->releaseCache();
    colorCurve->releaseCache();
    updatePointBounds();
    plainCurve->show();
    colorCurve->hide();
    showColorBar(false);
    highlightCurve->hide();
    highlightIndex = -1;
    replot();
    clearOverlayCurves();
    // A cleared plot shows nothing of the dataset it showed before: its polygon gates and
    // isoelastic lines go too (the next plot update draws the new dataset's own).
    clearFilterPolygons();
    clearIsoLines();
    replot();
}

void ScatterPlot::resetToEmpty()
{
    clearData();
    // Only the text goes: a whole new QwtText would drop the title font Qwt gave the axis
    // (bold, larger than the scale), and every later title, on screen and in exports, would
    // be drawn in the scale's small regular font.
    for (const int axis : {QwtPlot::xBottom, QwtPlot::yLeft, QwtPlot::yRight})
        setAxisTitle(axis, QString());
    // Without points an autoscaled axis shows its last explicit range (a zoom): back to the
    // range Qwt gives a new axis.
    for (const int axis : {QwtPlot::xBottom, QwtPlot::yLeft}) {
        setAxisScale(axis, 0.0, 1000.0);
        setAxisScaleType(axis, 0);
    }
}

void ScatterPlot::autoScale()
{
    setAxisAutoScale(QwtPlot::xBottom, true);
    setAxisAutoScale(QwtPlot::yLeft, true);
    replot();
}

void ScatterPlot::setAxisScaleType(int axis, int mode)
{
    if (axis < 0 || axis >= QwtPlot::axisCnt)
        return;
    switch (mode) {
    case 1:
        setAxisScaleEngine(axis, new QwtLogScaleEngine(10));
        break;
    case 2:
        setAxisScaleEngine(axis, new PseudoLogScaleEngine(100, 0.5));
        break;
    default:
        mode = 0;
        setAxisScaleEngine(axis, new QwtLinearScaleEngine(10));
        break;
    }
    scaleModes[axis] = mode;
    updatePointBounds();
    plainCurve->invalidateCache();
    colorCurve->invalidateCache();
    setAxisAutoScale(axis, true);
    replot();
}

int ScatterPlot::axisScaleMode(int axis) const
{
    return (axis >= 0 && axis < QwtPlot::axisCnt) ? scaleModes[axis] : 0;
}

void ScatterPlot::setColorMap(int index)
{
    if (index == colorMap)
        return;
    colorMap = index;
    if (!isColored() || pointsHidden)
        return;
    colorCurve->setColorMap(createColorMap(colorMap));
    colorCurve->setColorRange(QwtInterval(colorMin, colorMax));
    colorCurve->invalidateCache();
    if (axisWidget(QwtPlot::yRight)->isColorBarEnabled())
        axisWidget(QwtPlot::yRight)->setColorMap(QwtInterval(colorMin, colorMax), createColorMap(colorMap));
    replot();
}

void ScatterPlot::setPointsVisible(bool visible)
{
    pointsHidden = !visible;
    if (pointsHidden) {
        plainCurve->hide();
        colorCurve->hide();
        showColorBar(false);
    } else if (isColored()) {
        // The colour map may have changed while the points were hidden.
        colorCurve->setColorMap(createColorMap(colorMap));
        colorCurve->setColorRange(QwtInterval(colorMin, colorMax));
        colorCurve->invalidateCache();
        colorCurve->show();
        plainCurve->hide();
        showColorBar(true);
    } else if (!xValues.empty()) {
        plainCurve->show();
        colorCurve->hide();
    }
    replot();
}

void ScatterPlot::setHighlightedPoint(int index)
{
    if (index >= 0 && index < pointCount()) {
        const auto i = static_cast<size_t>(index);
        highlightCurve->setSamples(QVector<QPointF>{QPointF(xValues[i], yValues[i])});
        highlightCurve->show();
        highlightIndex = index;
    } else {
        highlightCurve->hide();
        highlightIndex = -1;
    }
    replot();
}

void ScatterPlot::hideHighlight()
{
    highlightCurve->hide();
    highlightIndex = -1;
    replot();
}

void ScatterPlot::onPointSelected(int index)
{
    setHighlightedPoint(index);
    emit pointClicked(index);
}

void ScatterPlot::setFilterPolygon(PolygonRuleId id, const QPolygonF& polygon, bool enabled)
{
    const auto old = polygonOverlays.find(id);
    if (old != polygonOverlays.end()) {
        old->second->detach();
        delete old->second;
        polygonOverlays.erase(old);
        replot();
    }
    QPainterPath path;
    path.addPolygon(polygon);
    path.closeSubpath();
    auto* item = new QwtPlotShapeItem;
    item->setShape(path);
    if (enabled) {
        item->setPen(QPen(QColor(255, 0, 0, 180), 2, Qt::SolidLine));
        item->setBrush(QColor(255, 0, 0, 30));
    } else {
        item->setPen(QPen(QColor(160, 160, 160, 180), 2, Qt::DashLine));
        item->setBrush(QColor(160, 160, 160, 25));
    }
    item->setZ(50);
    item->attach(this);
    // The polygon under edit is shown by the edit curve instead.
    if (editingPolygon && editingId == id)
        item->hide();
    polygonOverlays[id] = item;
    replot();
}

void ScatterPlot::clearFilterPolygons()
{
    for (auto& entry : polygonOverlays) {
        entry.second->detach();
        delete entry.second;
    }
    polygonOverlays.clear();
    replot();
}

void ScatterPlot::setContourLines(const std::vector<ContourLevel>& levels)
{
    clearOverlayCurves();
    for (size_t k = 0; k < levels.size(); ++k) {
        const QPen pen(Qt::black, 2, k == 0 ? Qt::DashLine : Qt::SolidLine);
        for (const ContourPolyline& line : levels[k].lines) {
            if (line.size() < 2)
                continue;
            QVector<QPointF> points;
            points.reserve(static_cast<int>(line.size()));
            for (const auto& p : line)
                points.append(QPointF(p.first, p.second));
            auto* curve = new QwtPlotCurve;
            curve->setStyle(QwtPlotCurve::Lines);
            curve->setPen(pen);
            curve->setItemAttribute(QwtPlotItem::Legend, false);
            curve->setZ(40);
            curve->setSamples(points);
            curve->attach(this);
            contourLineCurves.push_back(curve);
        }
    }
    replot();
}

void ScatterPlot::clearOverlayCurves()
{
    detachAll(contourLineCurves);
}

void ScatterPlot::clearIsoLines()
{
    detachAll(isoLineCurves);
    detachAll(isoLabelMarkers);
    replot();
}

void ScatterPlot::setIsoLines(const std::vector<IsoelasticLine>& lines, bool showLabels)
{
    clearIsoLines();
    IsoelasticItems items = attachIsoelasticLines(this, lines, false, showLabels);
    isoLineCurves = std::move(items.curves);
    isoLabelMarkers = std::move(items.markers);
    replot();
}

} // namespace Tervane3
