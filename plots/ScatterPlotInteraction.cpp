// Mouse and keyboard side of the main scatter plot: wheel and rubber-band zoom, panning,
// picking the event nearest to a click, drawing a new polygon and editing the vertices of
// an existing one. One event filter on the canvas does it all; the results leave the plot
// only as signals (the plot never changes a filter rule itself). GUI thread only.
//
// Zooming and panning work in the axes' own coordinates (after the log or pseudo-log
// transform), which is linear zooming on linear axes and keeps a logarithmic axis above 0.
// Polygon vertices are data values, not transformed ones.
#include "plots/ScatterPlot.h"

#include "plots/PointPickIndex.h"

#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_shapeitem.h>
#include <qwt_scale_map.h>
#include <qwt_transform.h>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QRubberBand>
#include <QWheelEvent>

#include <cmath>

namespace Tervane3 {

namespace {

// Squared fraction of the plot's width and height within which a point is picked (5 %).
constexpr double kPickLimit = 0.0025;
// Squared pixel distances for the polygon editor's vertex (12 px) and edge (8 px) hits.
constexpr double kVertexHit2 = 144.0;
constexpr double kEdgeHit2 = 64.0;
// The rubber band counts as a drag once it is more than this many pixels wide and high.
constexpr int kClickBand = 5;
constexpr double kWheelZoomIn = 0.8;
constexpr double kWheelZoomOut = 1.25;

double toAxis(const QwtScaleMap& map, double value)
{
    const QwtTransform* t = map.transformation();
    return t ? t->transform(value) : value;
}

// The scale range of an axis scaled about a canvas pixel by factor (in axis coordinates).
// Sets the range unless it is degenerate; a logarithmic transform keeps it within the
// values it can show (above 0).
void setRangeFromPixels(QwtPlot& plot, int axis, const QwtScaleMap& map, double p1, double p2)
{
    double a = map.invTransform(p1);
    double b = map.invTransform(p2);
    if (const QwtTransform* t = map.transformation()) {
        a = t->bounded(a);
        b = t->bounded(b);
    }
    if (std::isfinite(a) && std::isfinite(b) && a != b)
        plot.setAxisScale(axis, a, b);
}

// The scale range of an axis scaled about a canvas pixel by factor (in axis coordinates).
void scaleAxisAbout(QwtPlot& plot, int axis, double pixel, double factor)
{
    const QwtScaleMap map = plot.canvasMap(axis);
    setRangeFromPixels(plot, axis, map, pixel + (map.p1() - pixel) * factor, pixel + (map.p2() - pixel) * factor);
}

// The scale range of an axis moved so that the content follows the cursor by delta pixels.
void shiftAxis(QwtPlot& plot, int axis, double delta)
{
    const QwtScaleMap map = plot.canvasMap(axis);
    setRangeFromPixels(plot, axis, map, map.p1() - delta, map.p2() - delta);
}

double squaredPixelDistance(const QPointF& a, const QPointF& b)
{
    const double dx = a.x() - b.x();
    const double dy = a.y() - b.y();
    return dx * dx + dy * dy;
}

} // namespace

// ---- modes ------------------------------------------------------------------------------

void ScatterPlot::startPolygonDrawing()
{
    if (editingPolygon)
        stopPolygonEditing();
    drawingPolygon = true;
    drawVertices.clear();
    drawingCurve->setSamples(QVector<QPointF>());
    drawingCurve->show();
    canvas()->setCursor(Qt::CrossCursor);
    canvas()->setFocus();
    hoverIndex = -1;
    replot();
}

void ScatterPlot::endPolygonDrawing()
{
    drawingPolygon = false;
    drawVertices.clear();
    drawingCurve->setSamples(QVector<QPointF>());
    drawingCurve->hide();
    canvas()->setCursor(Qt::ArrowCursor);
    hoverIndex = -1;
    replot();
}

void ScatterPlot::stopPolygonDrawing()
{
    if (!drawingPolygon)
        return;
    endPolygonDrawing();
    emit polygonDrawingStopped();
}

void ScatterPlot::startPolygonEditing(PolygonRuleId id, const QPolygonF& polygon)
{
    if (editingPolygon && editingId != id) {
        // The previous polygon is drawn by its overlay again.
        const auto old = polygonOverlays.find(editingId);
        if (old != polygonOverlays.end())
            old->second->show();
        emit polygonEditingStopped(editingId);
    }
    if (drawingPolygon)
        stopPolygonDrawing();
    editingPolygon = true;
    editingId = id;
    editVertices = polygon;
    dragVertex = -1;
    const auto overlay = polygonOverlays.find(id);
    if (overlay != polygonOverlays.end())
        overlay->second->hide();
    editCurve->show();
    canvas()->setCursor(Qt::ArrowCursor);
    canvas()->setFocus();
    updateEditCurve();
}

void ScatterPlot::stopPolygonEditing()
{
    if (!editingPolygon)
        return;
    const PolygonRuleId oldId = editingId;
    editingPolygon = false;
    editingId = -1;
    editVertices.clear();
    dragVertex = -1;
    editCurve->setSamples(QVector<QPointF>());
    editCurve->hide();
    const auto overlay = polygonOverlays.find(oldId);
    if (overlay != polygonOverlays.end())
        overlay->second->show();
    canvas()->setCursor(Qt::ArrowCursor);
    hoverIndex = -1;
    replot();
    emit polygonEditingStopped(oldId);
}

void ScatterPlot::updateDrawingCurve()
{
    drawingCurve->setSamples(QVector<QPointF>(drawVertices.begin(), drawVertices.end()));
    replot();
}

void ScatterPlot::updateEditCurve()
{
    QVector<QPointF> ring(editVertices.begin(), editVertices.end());
    if (!ring.isEmpty())
        ring.append(ring.first());
    editCurve->setSamples(ring);
    replot();
}

// ---- picking ----------------------------------------------------------------------------

int ScatterPlot::findNearestPoint(const QPoint& canvasPos) const
{
    const QwtScaleMap xMap = canvasMap(QwtPlot::xBottom);
    const QwtScaleMap yMap = canvasMap(QwtPlot::yLeft);
    // The distance is measured in fractions of the plot's pixel width and height. Pixels
    // are an affine image of the axis coordinates, so the same fractions follow from the
    // axis coordinates alone, which the index holds for every point.
    if (xMap.pDist() == 0.0 || yMap.pDist() == 0.0 || xValues.empty())
        return -1;
    if (!pickIndex) {
        std::vector<double> tx(xValues.size());
        std::vector<double> ty(yValues.size());
        for (size_t i = 0; i < tx.size(); ++i)
            tx[i] = toAxis(xMap, xValues[i]);
        for (size_t i = 0; i < ty.size(); ++i)
            ty[i] = toAxis(yMap, yValues[i]);
        auto index = std::make_shared<PointPickIndex>();
        index->build(tx, ty);
        pickIndex = std::move(index);
    }
    const double xSpan = toAxis(xMap, xMap.s2()) - toAxis(xMap, xMap.s1());
    const double ySpan = toAxis(yMap, yMap.s2()) - toAxis(yMap, yMap.s1());
    const double qx = toAxis(xMap, xMap.s1()) + (canvasPos.x() - xMap.p1()) / (xMap.p2() - xMap.p1()) * xSpan;
    const double qy = toAxis(yMap, yMap.s1()) + (canvasPos.y() - yMap.p1()) / (yMap.p2() - yMap.p1()) * ySpan;
    return pickIndex->nearest(qx, qy, xSpan, ySpan, kPickLimit);
}

int ScatterPlot::findVertexAt(const QPoint& canvasPos) const
{
    int best = -1;
    double bestD = kVertexHit2;
    for (int i = 0; i < editVertices.size(); ++i) {
        const QPointF p(transform(QwtPlot::xBottom, editVertices[i].x()),
                        transform(QwtPlot::yLeft, editVertices[i].y()));
        const double d = squaredPixelDistance(p, canvasPos);
        if (d < bestD) {
            bestD = d;
            best = i;
        }
    }
    return best;
}

int ScatterPlot::findEdgeAt(const QPoint& canvasPos) const
{
    const int n = editVertices.size();
    if (n < 2)
        return -1;
    int best = -1;
    double bestD = kEdgeHit2;
    const QPointF c(canvasPos);
    for (int i = 0; i < n; ++i) {
        const QPointF& va = editVertices[i];
        const QPointF& vb = editVertices[(i + 1) % n];
        const QPointF a(transform(QwtPlot::xBottom, va.x()), transform(QwtPlot::yLeft, va.y()));
        const QPointF b(transform(QwtPlot::xBottom, vb.x()), transform(QwtPlot::yLeft, vb.y()));
        const QPointF ab = b - a;
        const double length2 = ab.x() * ab.x() + ab.y() * ab.y();
        if (!(length2 > 0.0))
            continue;
        const double t = ((c.x() - a.x()) * ab.x() + (c.y() - a.y()) * ab.y()) / length2;
        if (t < 0.0 || t > 1.0)
            continue;
        const double d = squaredPixelDistance(a + t * ab, c);
        if (d < bestD) {
            bestD = d;
            best = i;
        }
    }
    return best;
}

// ---- events -----------------------------------------------------------------------------

bool ScatterPlot::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != canvas())
        return QwtPlot::eventFilter(watched, event);

    const auto dataAt = [this](const QPoint& pos) {
        return QPointF(invTransform(QwtPlot::xBottom, pos.x()), invTransform(QwtPlot::yLeft, pos.y()));
    };

    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && drawingPolygon) {
            stopPolygonDrawing();
            return true;
        }
        if (key->key() == Qt::Key_Escape && editingPolygon) {
            stopPolygonEditing();
            return true;
        }
        break;
    }

    case QEvent::Wheel: {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        const int delta = wheel->angleDelta().y();
        // A horizontal or touch-pad scroll without vertical movement is no zoom request.
        if (delta == 0)
            return true;
        const double factor = delta > 0 ? kWheelZoomIn : kWheelZoomOut;
        const QPointF pos = wheel->position();
        scaleAxisAbout(*this, QwtPlot::xBottom, pos.x(), factor);
        scaleAxisAbout(*this, QwtPlot::yLeft, pos.y(), factor);
        replot();
        return true;
    }

    case QEvent::MouseButtonDblClick: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (drawingPolygon) {
            if (drawVertices.size() >= 3) {
                const QPolygonF polygon = drawVertices;
                endPolygonDrawing();
                // Completed before stopped: a listener that resets its drawing target on
                // "stopped" must still see the polygon go where it was meant to.
                emit polygonCompleted(polygon);
                emit polygonDrawingStopped();
            }
            return true;
        }
        if (editingPolygon)
            return true;
        if (mouse->button() == Qt::LeftButton) {
            autoScale();
            return true;
        }
        break;
    }

    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint pos = mouse->pos();
        if (editingPolygon) {
            if (mouse->button() == Qt::LeftButton) {
                const int vertex = findVertexAt(pos);
                if (vertex >= 0) {
                    dragVertex = vertex;
                    canvas()->setCursor(Qt::ClosedHandCursor);
                } else {
                    const int edge = findEdgeAt(pos);
                    if (edge >= 0) {
                        editVertices.insert(edge + 1, dataAt(pos));
                        dragVertex = edge + 1;
                        updateEditCurve();
                        canvas()->setCursor(Qt::ClosedHandCursor);
                    }
                }
            } else if (mouse->button() == Qt::RightButton) {
                const int vertex = findVertexAt(pos);
                // A polygon keeps at least three vertices.
                if (vertex >= 0 && editVertices.size() > 3) {
                    editVertices.remove(vertex);
                    updateEditCurve();
                    emit polygonEdited(editingId, editVertices);
                }
            }
            return true;
        }
        if (mouse->button() == Qt::RightButton) {
            autoScale();
            return true;
        }
        if (mouse->button() == Qt::LeftButton && drawingPolygon) {
            drawVertices.append(dataAt(pos));
            updateDrawingCurve();
            return true;
        }
        if (mouse->button() == Qt::LeftButton && !drawingPolygon) {
            if (mouse->modifiers().testFlag(Qt::ShiftModifier)) {
                panning = true;
                lastPanPos = pos;
                canvas()->setCursor(Qt::ClosedHandCursor);
                return true;
            }
            if (!rubberBand)
                rubberBand = new QRubberBand(QRubberBand::Rectangle, canvas());
            selecting = true;
            selectStart = pos;
            rubberBand->setGeometry(QRect(pos, QSize()));
            rubberBand->hide();
        }
        break;
    }

    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint pos = mouse->pos();
        if (editingPolygon && dragVertex >= 0) {
            editVertices[dragVertex] = dataAt(pos);
            updateEditCurve();
            return true;
        }
        if (drawingPolygon || editingPolygon) {
            if (editingPolygon) {
                if (findVertexAt(pos) >= 0)
                    canvas()->setCursor(Qt::OpenHandCursor);
                else if (findEdgeAt(pos) >= 0)
                    canvas()->setCursor(Qt::CrossCursor);
                else
                    canvas()->setCursor(Qt::ArrowCursor);
            }
            const int nearest = findNearestPoint(pos);
            if (nearest != hoverIndex) {
                hoverIndex = nearest;
                if (nearest >= 0)
                    emit pointHovered(nearest);
            }
            break;
        }
        if (panning) {
            const QPoint delta = pos - lastPanPos;
            lastPanPos = pos;
            shiftAxis(*this, QwtPlot::xBottom, delta.x());
            shiftAxis(*this, QwtPlot::yLeft, delta.y());
            replot();
            return true;
        }
        if (selecting) {
            const QRect band = QRect(selectStart, pos).normalized();
            rubberBand->setGeometry(band);
            if (band.width() > kClickBand || band.height() > kClickBand)
                rubberBand->show();
            return true;
        }
        break;
    }

    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint pos = mouse->pos();
        if (editingPolygon && dragVertex >= 0) {
            dragVertex = -1;
            canvas()->setCursor(Qt::ArrowCursor);
            emit polygonEdited(editingId, editVertices);
            return true;
        }
        if (panning) {
            panning = false;
            canvas()->setCursor(drawingPolygon ? Qt::CrossCursor : Qt::ArrowCursor);
            return true;
        }
        if (selecting) {
            selecting = false;
            rubberBand->hide();
            const QRect band = QRect(selectStart, pos).normalized();
            if (band.width() <= kClickBand || band.height() <= kClickBand) {
                const int nearest = findNearestPoint(pos);
                if (nearest >= 0)
                    emit pointClicked(nearest);
            } else {
                setAxisScale(QwtPlot::xBottom, invTransform(QwtPlot::xBottom, band.left()),
                             invTransform(QwtPlot::xBottom, band.right()));
                setAxisScale(QwtPlot::yLeft, invTransform(QwtPlot::yLeft, band.bottom()),
                             invTransform(QwtPlot::yLeft, band.top()));
                replot();
            }
            return true;
        }
        break;
    }

    default:
        break;
    }
    return QwtPlot::eventFilter(watched, event);
}

} // namespace Tervane3
