// The main window's plot of two features of the active dataset.
//
// First version: the frame of the plot (title, grid, axes, colour-map index, scale engines)
// and the signals the main window connects. Points, density colours, contours, polygons,
// isoelastic lines and the mouse interaction come with the plot's own work.
#pragma once

#include <qwt_plot.h>

#include <QPolygonF>

namespace Tervane3 {

class ScatterPlot : public QwtPlot
{
    Q_OBJECT

public:
    explicit ScatterPlot(QWidget* parent = nullptr);

    // Installs a linear (0 and any other value), logarithmic (1) or pseudo-logarithmic (2)
    // scale engine for the axis and switches it to autoscaling.
    void setAxisScaleType(int axis, int mode);
    int axisScaleMode(int axis) const;

    // Index into the colour-map list of the Settings menu; any index outside it means 0.
    void setColorMap(int index);
    int colorMapIndex() const { return colorMap; }

    void startPolygonDrawing();
    void stopPolygonDrawing();
    bool isDrawingPolygon() const { return drawingPolygon; }

signals:
    void pointClicked(int index);
    void pointHovered(int index);
    void polygonCompleted(const QPolygonF& polygon);
    void polygonDrawingStopped();
    void polygonEdited(int id, const QPolygonF& polygon);
    void polygonEditingStopped(int id);

public slots:
    void onPointSelected(int index);

private:
    int colorMap = 0;
    int scaleModes[QwtPlot::axisCnt] = {0, 0, 0, 0};
    bool drawingPolygon = false;
};

} // namespace Tervane3
