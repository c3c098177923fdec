// The main window's plot of two features of the active dataset: one point per plotted event,
// plain or coloured through a colour map with a colour bar on the right axis, density
// contour lines, isoelastic lines, polygon gates and the highlight of the current event.
//
// Drawing lives in ScatterPlot.cpp; the mouse and keyboard side (zoom, pan, picking,
// drawing and editing polygons) in ScatterPlotInteraction.cpp. The plot only displays: it
// never changes a filter rule; interactions leave it as signals. GUI thread only.
//
// A million points are not repainted for every small change: the two point curves render
// into a cached image that is reused until the data, the colours or the scale maps change,
// so moving the highlight or an overlay costs one image blit.
#pragma once

#include <qwt_plot.h>

#include <QPoint>
#include <QPolygonF>

#include <map>
#include <memory>
#include <vector>

class QRubberBand;
class QwtPlotCurve;
class QwtPlotGrid;
class QwtPlotMarker;
class QwtPlotPanner;
class QwtPlotShapeItem;

namespace Tervane3 {

struct ContourLevel;
struct IsoelasticLine;
class PlainPointCurve;
class PointPickIndex;
class RoundSpectroCurve;

// Names a polygon rule on the plot: 0 .. 999999 an index into the active dataset's own
// rules, 1000000 + group id * 10000 + rule index a rule of a filter group, -1 none.
using PolygonRuleId = int;

class ScatterPlot : public QwtPlot
{
    Q_OBJECT

public:
    explicit ScatterPlot(QWidget* parent = nullptr);
    ~ScatterPlot() override;

    // ---- data and look -----------------------------------------------------------------
    // Shows new points. x and y of different lengths, or no x: the plot is cleared.
    // colorValues of the length of x colour the points (colour bar on the right axis);
    // otherwise the points are plain.
    void setData(const std::vector<double>& x, const std::vector<double>& y,
                 const QString& xTitle, const QString& yTitle,
                 const std::vector<double>& colorValues, const QString& colorTitle);
    // Removes the points, the highlight, the contour lines, the polygon overlays and the
    // isoelastic lines.
    void clearData();
    // clearData, and the axes of a new plot: no titles, linear scales, autoscaling. The
    // plot of a window without datasets.
    void resetToEmpty();
    // Back to autoscaling on xBottom and yLeft, then replot.
    void autoScale();

    // Linear (0 and any other value), logarithmic (1) or pseudo-logarithmic (2) engine for
    // the axis; switches it to autoscaling and replots. Logarithmic axes autoscale from the
    // positive values only.
    void setAxisScaleType(int axis, int mode);
    int axisScaleMode(int axis) const;

    // Index into the colour-map list (createColorMap); stored only while points are hidden.
    void setColorMap(int index);
    int colorMapIndex() const { return colorMap; }

    // Contour mode "Only" hides the points (and the colour bar) and shows the lines alone.
    void setPointsVisible(bool visible);
    bool pointsVisible() const { return !pointsHidden; }

    // index: a plotted point (position in the plotted vectors); outside: hidden.
    void setHighlightedPoint(int index);
    void hideHighlight();
    int highlightedPoint() const { return highlightIndex; }

    // One outlined area per polygon rule; a second call with the same id replaces it.
    void setFilterPolygon(PolygonRuleId id, const QPolygonF& polygon, bool enabled);
    void clearFilterPolygons();
    // Contour lines: level 0 dashed, later levels solid; they take part in autoscaling.
    void setContourLines(const std::vector<ContourLevel>& levels);
    void clearOverlayCurves();
    // Isoelastic lines (never widen the autoscaled range), optionally with kPa labels.
    void setIsoLines(const std::vector<IsoelasticLine>& lines, bool showLabels);
    void clearIsoLines();

    // What the plot shows (for the event views, exports and tests).
    const std::vector<double>& plottedX() const { return xValues; }
    const std::vector<double>& plottedY() const { return yValues; }
    const std::vector<double>& plottedColors() const { return colorValues; }
    int pointCount() const { return static_cast<int>(xValues.size()); }
    bool isColored() const;
    const std::map<PolygonRuleId, QwtPlotShapeItem*>& filterPolygonItems() const { return polygonOverlays; }
    const std::vector<QwtPlotCurve*>& contourCurves() const { return contourLineCurves; }
    const std::vector<QwtPlotCurve*>& isoCurves() const { return isoLineCurves; }
    const std::vector<QwtPlotMarker*>& isoLabels() const { return isoLabelMarkers; }

    // ---- interaction (ScatterPlotInteraction.cpp) -------------------------------------
    void startPolygonDrawing();
    void stopPolygonDrawing();
    bool isDrawingPolygon() const { return drawingPolygon; }
    void startPolygonEditing(PolygonRuleId id, const QPolygonF& polygon);
    void stopPolygonEditing();
    bool isEditingPolygon() const { return editingPolygon; }
    PolygonRuleId editingPolygonId() const { return editingId; }

    // Canvas events (zoom, pan, picking, polygons); other objects go to QwtPlot.
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Picking in canvas pixels: the nearest plotted point within 5 % of the plot's extent,
    // the vertex under edit within 12 px, the edge under edit within 8 px; -1 for none.
    int findNearestPoint(const QPoint& canvasPos) const;
    int findVertexAt(const QPoint& canvasPos) const;
    int findEdgeAt(const QPoint& canvasPos) const;

signals:
    void pointClicked(int index);
    void pointHovered(int index);
    void polygonCompleted(const QPolygonF& polygon);
    void polygonDrawingStopped();
    void polygonEdited(int id, const QPolygonF& polygon);
    void polygonEditingStopped(int id);

public slots:
    // As setHighlightedPoint, then pointClicked(index), also for an index outside the points.
    void onPointSelected(int index);

private:
    void setupPlot();
    // Hands the positive-only bounds of the points to the point curves (log axes).
    void updatePointBounds();
    void showColorBar(bool on);
    // The drawing curve: the vertices placed so far as an open polyline.
    void updateDrawingCurve();
    // The edit curve: the vertices under edit as a closed ring.
    void updateEditCurve();
    // Ends drawing without a signal; Esc, a completing double click and stopPolygonDrawing
    // add their own.
    void endPolygonDrawing();

    // Display state.
    std::vector<double> xValues;
    std::vector<double> yValues;
    std::vector<double> colorValues;
    double colorMin = 0.0;
    double colorMax = 1.0;
    int colorMap = 0;
    bool pointsHidden = false;
    int highlightIndex = -1;
    int scaleModes[QwtPlot::axisCnt] = {0, 0, 0, 0};

    // Items; attached to the plot, which owns and deletes them.
    QwtPlotGrid* grid = nullptr;
    PlainPointCurve* plainCurve = nullptr;
    RoundSpectroCurve* colorCurve = nullptr;
    QwtPlotCurve* highlightCurve = nullptr;
    QwtPlotCurve* drawingCurve = nullptr;
    QwtPlotCurve* editCurve = nullptr;
    std::map<PolygonRuleId, QwtPlotShapeItem*> polygonOverlays;
    std::vector<QwtPlotCurve*> contourLineCurves;
    std::vector<QwtPlotCurve*> isoLineCurves;
    std::vector<QwtPlotMarker*> isoLabelMarkers;

    // Interaction state (ScatterPlotInteraction.cpp).
    // Rubber-band zoom with the left button; the band is made on first use.
    bool selecting = false;
    QPoint selectStart;
    QRubberBand* rubberBand = nullptr;
    // Panning with Shift and the left button.
    bool panning = false;
    QPoint lastPanPos;
    // Polygon drawing: vertices in data units, in placing order.
    bool drawingPolygon = false;
    QPolygonF drawVertices;
    // Polygon editing: the polygon under edit in data units, the vertex being dragged.
    bool editingPolygon = false;
    PolygonRuleId editingId = -1;
    QPolygonF editVertices;
    int dragVertex = -1;
    // Last point reported by pointHovered (-1 none).
    int hoverIndex = -1;
    // Pans with the middle button.
    QwtPlotPanner* panner = nullptr;
    // Nearest-point search over the plotted points in axis coordinates; made by the first
    // pick after the points or an axis transform changed (updatePointBounds drops it).
    mutable std::shared_ptr<PointPickIndex> pickIndex;
};

} // namespace Tervane3
