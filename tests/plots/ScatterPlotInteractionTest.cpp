// Mouse and keyboard on the scatter plot's canvas: picking, click versus rubber-band zoom,
// wheel zoom and Shift-pan (also on logarithmic axes), and the signal sequences of polygon
// drawing and editing. Events are sent straight to the canvas, as the window system would.
#include "plots/ScatterPlot.h"

#include <gtest/gtest.h>

#include <qwt_plot_canvas.h>
#include <qwt_plot_shapeitem.h>
#include <qwt_scale_div.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QWheelEvent>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace Tervane3 {
namespace {

class PlotRig
{
public:
    ScatterPlot plot;

    // A 640 x 480 plot showing x and y in fixed ranges.
    PlotRig(const std::vector<double>& x, const std::vector<double>& y, double x0 = 0, double x1 = 100,
            double y0 = 0, double y1 = 100)
    {
        plot.resize(640, 480);
        plot.setData(x, y, QStringLiteral("x"), QStringLiteral("y"), {}, QString());
        setRange(x0, x1, y0, y1);
    }

    // New points under the same axis titles, so the canvas keeps its place.
    void setPoints(const std::vector<double>& x, const std::vector<double>& y)
    {
        plot.setData(x, y, QStringLiteral("x"), QStringLiteral("y"), {}, QString());
    }

    void setRange(double x0, double x1, double y0, double y1)
    {
        plot.setAxisScale(QwtPlot::xBottom, x0, x1);
        plot.setAxisScale(QwtPlot::yLeft, y0, y1);
        plot.replot();
        plot.updateLayout();
    }

    QWidget* canvas() { return plot.canvas(); }

    QPoint pixelOf(double x, double y) const
    {
        return QPoint(qRound(plot.transform(QwtPlot::xBottom, x)), qRound(plot.transform(QwtPlot::yLeft, y)));
    }
    QPointF dataAt(const QPoint& p) const
    {
        return QPointF(plot.invTransform(QwtPlot::xBottom, p.x()), plot.invTransform(QwtPlot::yLeft, p.y()));
    }
    std::pair<double, double> range(int axis) const
    {
        const QwtScaleDiv& div = plot.axisScaleDiv(axis);
        return {div.lowerBound(), div.upperBound()};
    }

    bool mouse(QEvent::Type type, const QPoint& pos, Qt::MouseButton button,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent event(type, QPointF(pos), QPointF(canvas()->mapToGlobal(pos)), button, held, modifiers);
        return plot.eventFilter(canvas(), &event);
    }
    bool press(const QPoint& pos, Qt::MouseButton button = Qt::LeftButton,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        return mouse(QEvent::MouseButtonPress, pos, button, modifiers);
    }
    bool release(const QPoint& pos, Qt::MouseButton button = Qt::LeftButton)
    {
        return mouse(QEvent::MouseButtonRelease, pos, button);
    }
    bool move(const QPoint& pos, Qt::MouseButton held = Qt::NoButton)
    {
        return mouse(QEvent::MouseMove, pos, held);
    }
    void click(const QPoint& pos, Qt::MouseButton button = Qt::LeftButton)
    {
        press(pos, button);
        release(pos, button);
    }
    // What the window system delivers for a double click: press, release, double click,
    // release.
    void doubleClick(const QPoint& pos)
    {
        click(pos);
        mouse(QEvent::MouseButtonDblClick, pos, Qt::LeftButton);
        release(pos);
    }
    bool wheel(const QPoint& pos, QPoint angleDelta)
    {
        QWheelEvent event(QPointF(pos), QPointF(canvas()->mapToGlobal(pos)), QPoint(), angleDelta, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        return plot.eventFilter(canvas(), &event);
    }
    bool key(int key)
    {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        return plot.eventFilter(canvas(), &event);
    }
};

// Every polygon signal of the plot, in order, as text.
class SignalLog
{
public:
    explicit SignalLog(ScatterPlot& plot)
    {
        QObject::connect(&plot, &ScatterPlot::polygonCompleted, &context,
                         [this](const QPolygonF& p) { entries.push_back("completed " + std::to_string(p.size())); });
        QObject::connect(&plot, &ScatterPlot::polygonDrawingStopped, &context,
                         [this] { entries.push_back("drawingStopped"); });
        QObject::connect(&plot, &ScatterPlot::polygonEdited, &context, [this](int id, const QPolygonF& p) {
            entries.push_back("edited " + std::to_string(id) + " " + std::to_string(p.size()));
            lastPolygon = p;
        });
        QObject::connect(&plot, &ScatterPlot::polygonEditingStopped, &context,
                         [this](int id) { entries.push_back("editingStopped " + std::to_string(id)); });
        QObject::connect(&plot, &ScatterPlot::polygonCompleted, &context,
                         [this](const QPolygonF& p) { lastPolygon = p; });
    }
    std::vector<std::string> entries;
    QPolygonF lastPolygon;

private:
    QObject context;
};

using Log = std::vector<std::string>;

TEST(ScatterPlotPickingTest, NearestPointWithinFivePercentOfTheExtent)
{
    PlotRig rig({1.0}, {1.0}); // points from the start, so the axis titles do not move the canvas
    const QPoint cursor = rig.pixelOf(40.0, 60.0);
    const QPointF c = rig.dataAt(cursor);
    // Ranges are 100 wide and high, so 5 % is 5 data units.
    struct Case
    {
        const char* name;
        std::vector<double> x, y;
        int expected;
    };
    const Case cases[] = {
        {"nearer of two", {c.x() + 3.0, c.x() + 1.0, c.x() - 2.0}, {c.y(), c.y() + 1.0, c.y() + 2.0}, 1},
        {"first of equals", {c.x() + 3.0, c.x() + 2.0, c.x() + 2.0}, {c.y(), c.y() + 1.0, c.y() + 1.0}, 1},
        {"just inside", {c.x() + 4.9, 90.0}, {c.y(), 10.0}, 0},
        {"just outside", {c.x() + 5.1, 90.0}, {c.y(), 10.0}, -1},
        {"diagonal inside", {c.x() + 3.5, 1.0}, {c.y() - 3.5, 1.0}, 0}, // 4.95 away
        {"diagonal outside", {c.x() + 3.6, 1.0}, {c.y() - 3.6, 1.0}, -1}, // 5.09 away
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        rig.setPoints(k.x, k.y);
        rig.setRange(0, 100, 0, 100);
        EXPECT_EQ(rig.plot.findNearestPoint(cursor), k.expected);

        QSignalSpy clicked(&rig.plot, &ScatterPlot::pointClicked);
        rig.click(cursor);
        ASSERT_EQ(clicked.count(), k.expected >= 0 ? 1 : 0);
        if (k.expected >= 0) {
            EXPECT_EQ(clicked.at(0).at(0).toInt(), k.expected);
        }
    }
}

TEST(ScatterPlotPickingTest, DistanceIsRelativeToEachAxisAndFollowsZoomAndData)
{
    // x spans 1000 units, y 10: a point 30 units right is near (3 %), one 0.8 up is not (8 %).
    PlotRig rig({530.0, 500.0}, {5.0, 5.8}, 0, 1000, 0, 10);
    const QPoint cursor = rig.pixelOf(500.0, 5.0);
    const QPointF c = rig.dataAt(cursor);
    rig.setPoints({c.x() + 30.0, c.x()}, {c.y(), c.y() + 0.8});
    rig.setRange(0, 1000, 0, 10);
    EXPECT_EQ(rig.plot.findNearestPoint(cursor), 0);
    // Zoomed in tenfold on x, 30 units are 30 % of the width: only the other one is near.
    rig.setRange(c.x() - 50.0, c.x() + 50.0, 0, 100);
    EXPECT_EQ(rig.plot.findNearestPoint(rig.pixelOf(c.x(), c.y())), 1);
    // New points replace what the search knows.
    rig.setPoints({c.x()}, {c.y()});
    rig.setRange(c.x() - 50.0, c.x() + 50.0, 0, 100);
    EXPECT_EQ(rig.plot.findNearestPoint(rig.pixelOf(c.x(), c.y())), 0);
    rig.plot.clearData();
    EXPECT_EQ(rig.plot.findNearestPoint(rig.pixelOf(c.x(), c.y())), -1);
}

TEST(ScatterPlotPickingTest, LogarithmicAxesMeasureInDecades)
{
    PlotRig rig({1.0}, {1.0}); // points from the start, so the axis titles do not move the canvas
    rig.plot.setAxisScaleType(QwtPlot::xBottom, 1);
    rig.plot.setAxisScaleType(QwtPlot::yLeft, 1);
    rig.setRange(1, 1000, 1, 1000); // three decades each
    const QPoint cursor = rig.pixelOf(30.0, 30.0);
    const QPointF c = rig.dataAt(cursor);
    // 4 % of three decades is 0.12 decades, 6 % is 0.18; a value at or below zero is never
    // on a logarithmic axis.
    rig.setPoints({c.x() * std::pow(10.0, 0.18), c.x() * std::pow(10.0, 0.12), -5.0},
                     {c.y(), c.y(), c.y()});
    rig.setRange(1, 1000, 1, 1000);
    EXPECT_EQ(rig.plot.findNearestPoint(cursor), 1);
    rig.setPoints({c.x() * std::pow(10.0, 0.18), 0.0}, {c.y(), c.y()});
    rig.setRange(1, 1000, 1, 1000);
    EXPECT_EQ(rig.plot.findNearestPoint(cursor), -1);
}

TEST(ScatterPlotZoomTest, ClickOrRubberBandByTheDistanceBetweenPressAndRelease)
{
    struct Case
    {
        int dx, dy;
        bool zooms;
    };
    // A band at most 5 pixels wide or high (corners included) is a click.
    const Case cases[] = {
        {0, 0, false},  {4, 100, false}, {100, 4, false}, {-4, -120, false},
        {5, 5, true},   {-5, -5, true},  {150, 80, true},  {-60, 200, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.dx << ", " << k.dy);
        PlotRig rig({50.0}, {50.0});
        const QPoint from = rig.pixelOf(50.0, 50.0);
        const QPoint to = from + QPoint(k.dx, k.dy);
        const QRect band = QRect(from, to).normalized();
        const double left = rig.plot.invTransform(QwtPlot::xBottom, band.left());
        const double right = rig.plot.invTransform(QwtPlot::xBottom, band.right());
        const double bottom = rig.plot.invTransform(QwtPlot::yLeft, band.bottom());
        const double top = rig.plot.invTransform(QwtPlot::yLeft, band.top());
        QSignalSpy clicked(&rig.plot, &ScatterPlot::pointClicked);

        EXPECT_FALSE(rig.press(from)); // passed on
        EXPECT_TRUE(rig.move(to, Qt::LeftButton));
        EXPECT_TRUE(rig.release(to));
        if (k.zooms) {
            EXPECT_EQ(clicked.count(), 0);
            EXPECT_DOUBLE_EQ(rig.range(QwtPlot::xBottom).first, left);
            EXPECT_DOUBLE_EQ(rig.range(QwtPlot::xBottom).second, right);
            EXPECT_DOUBLE_EQ(rig.range(QwtPlot::yLeft).first, bottom);
            EXPECT_DOUBLE_EQ(rig.range(QwtPlot::yLeft).second, top);
            EXPECT_FALSE(rig.plot.axisAutoScale(QwtPlot::xBottom));
        } else {
            EXPECT_EQ(rig.range(QwtPlot::xBottom), std::make_pair(0.0, 100.0));
            EXPECT_EQ(rig.range(QwtPlot::yLeft), std::make_pair(0.0, 100.0));
            // The click picks near the release position: only the short ways reach the point.
            const bool near = std::abs(k.dx) <= 4 && std::abs(k.dy) <= 4;
            EXPECT_EQ(clicked.count(), near ? 1 : 0);
        }
    }
}

TEST(ScatterPlotZoomTest, WheelZoomsAboutTheCursor)
{
    struct Case
    {
        const char* name;
        QPoint angleDelta;
        double factor; // 0: no change
    };
    const Case cases[] = {
        {"up", {0, 120}, 0.8},
        {"small up", {0, 15}, 0.8},
        {"down", {0, -120}, 1.25},
        {"horizontal only", {120, 0}, 0.0}, // a sideways scroll is no zoom request
        {"none", {0, 0}, 0.0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PlotRig rig({20.0, 80.0}, {10.0, 90.0}, 0, 100, -50, 150);
        const QPoint cursor = rig.pixelOf(30.0, 20.0);
        const QPointF c = rig.dataAt(cursor);
        EXPECT_TRUE(rig.wheel(cursor, k.angleDelta));
        rig.plot.updateLayout();
        if (k.factor == 0.0) {
            EXPECT_EQ(rig.range(QwtPlot::xBottom), std::make_pair(0.0, 100.0));
            EXPECT_EQ(rig.range(QwtPlot::yLeft), std::make_pair(-50.0, 150.0));
            continue;
        }
        const double f = k.factor;
        EXPECT_NEAR(rig.range(QwtPlot::xBottom).first, c.x() - (c.x() - 0.0) * f, 1e-9);
        EXPECT_NEAR(rig.range(QwtPlot::xBottom).second, c.x() + (100.0 - c.x()) * f, 1e-9);
        EXPECT_NEAR(rig.range(QwtPlot::yLeft).first, c.y() - (c.y() + 50.0) * f, 1e-9);
        EXPECT_NEAR(rig.range(QwtPlot::yLeft).second, c.y() + (150.0 - c.y()) * f, 1e-9);
    }
}

TEST(ScatterPlotZoomTest, LogarithmicAxesZoomAndPanInDecadesAndStayPositive)
{
    // Decision: on a logarithmic or pseudo-logarithmic axis the wheel and Shift-pan work
    // in the axis' coordinates. Catches the fault of zooming in data units, which put the
    // lower bound of a log axis at or below zero after a few wheel steps out.
    PlotRig rig({10.0, 100.0}, {1.0, 5.0});
    rig.plot.setAxisScaleType(QwtPlot::xBottom, 1);
    rig.plot.setAxisScaleType(QwtPlot::yLeft, 2);
    rig.setRange(1, 1000, 0, 1000);
    const QPoint cursor = rig.pixelOf(300.0, 50.0);
    const double c = rig.dataAt(cursor).x();

    rig.wheel(cursor, {0, 120});
    rig.plot.updateLayout();
    // log10 of the bounds move towards log10(c) by the factor 0.8.
    EXPECT_NEAR(std::log10(rig.range(QwtPlot::xBottom).first), std::log10(c) * (1 - 0.8), 1e-9);
    EXPECT_NEAR(std::log10(rig.range(QwtPlot::xBottom).second), std::log10(c) + (3 - std::log10(c)) * 0.8, 1e-9);

    for (int i = 0; i < 30; ++i) {
        rig.wheel(cursor, {0, -120});
        rig.plot.updateLayout();
        ASSERT_GT(rig.range(QwtPlot::xBottom).first, 0.0) << "after " << i + 1 << " steps out";
        ASSERT_TRUE(std::isfinite(rig.range(QwtPlot::yLeft).first));
    }

    // Shift-pan by 100 pixels to the right keeps the number of decades shown.
    rig.setRange(1, 1000, 0, 1000);
    const QPoint start = rig.pixelOf(10.0, 50.0);
    EXPECT_TRUE(rig.press(start, Qt::LeftButton, Qt::ShiftModifier));
    EXPECT_TRUE(rig.move(start + QPoint(300, 0), Qt::LeftButton));
    EXPECT_TRUE(rig.release(start + QPoint(300, 0)));
    rig.plot.updateLayout();
    const auto [lo, hi] = rig.range(QwtPlot::xBottom);
    EXPECT_GT(lo, 0.0);
    EXPECT_LT(lo, 1.0); // the content moved right: smaller values came into view
    EXPECT_NEAR(std::log10(hi) - std::log10(lo), 3.0, 1e-9);
}

TEST(ScatterPlotZoomTest, ShiftPanShiftsLinearRangesByTheDragInDataUnits)
{
    PlotRig rig({50.0}, {50.0});
    const QPoint start = rig.pixelOf(50.0, 50.0);
    const QPoint end = start + QPoint(40, -30);
    const double dx = rig.dataAt(end).x() - rig.dataAt(start).x();
    const double dy = rig.dataAt(end).y() - rig.dataAt(start).y();
    QSignalSpy clicked(&rig.plot, &ScatterPlot::pointClicked);
    EXPECT_TRUE(rig.press(start, Qt::LeftButton, Qt::ShiftModifier));
    EXPECT_EQ(rig.canvas()->cursor().shape(), Qt::ClosedHandCursor);
    EXPECT_TRUE(rig.move(end, Qt::LeftButton));
    EXPECT_TRUE(rig.release(end));
    EXPECT_EQ(rig.canvas()->cursor().shape(), Qt::ArrowCursor);
    EXPECT_NEAR(rig.range(QwtPlot::xBottom).first, -dx, 1e-9);
    EXPECT_NEAR(rig.range(QwtPlot::xBottom).second, 100.0 - dx, 1e-9);
    EXPECT_NEAR(rig.range(QwtPlot::yLeft).first, -dy, 1e-9);
    EXPECT_EQ(clicked.count(), 0);
}

TEST(ScatterPlotZoomTest, RightClickAndLeftDoubleClickReturnToAutoscale)
{
    PlotRig rig({50.0}, {50.0});
    EXPECT_TRUE(rig.press(rig.pixelOf(10, 10), Qt::RightButton));
    EXPECT_TRUE(rig.plot.axisAutoScale(QwtPlot::xBottom));
    EXPECT_TRUE(rig.plot.axisAutoScale(QwtPlot::yLeft));
    rig.setRange(0, 100, 0, 100);
    rig.doubleClick(rig.pixelOf(10, 10));
    EXPECT_TRUE(rig.plot.axisAutoScale(QwtPlot::xBottom));
    // Esc and the middle button in normal mode are left to others (the panner).
    EXPECT_FALSE(rig.key(Qt::Key_Escape));
    EXPECT_FALSE(rig.press(rig.pixelOf(10, 10), Qt::MiddleButton));
}

TEST(ScatterPlotPolygonTest, DrawingEndsWithCompletedBeforeStopped)
{
    // Decision: "completed" comes before the one "stopped", so a listener that resets its
    // target group on "stopped" still files the polygon where it was meant to go. Catches
    // the fault of announcing "stopped" first (and twice).
    PlotRig rig({50.0}, {50.0});
    SignalLog log(rig.plot);
    rig.plot.startPolygonDrawing();
    EXPECT_TRUE(rig.plot.isDrawingPolygon());
    EXPECT_EQ(rig.canvas()->cursor().shape(), Qt::CrossCursor);
    const QPoint corners[] = {rig.pixelOf(10, 10), rig.pixelOf(90, 10), rig.pixelOf(90, 90)};
    for (const QPoint& p : corners)
        rig.click(p);
    EXPECT_TRUE(log.entries.empty());
    // The first press of the double click places the fourth vertex, the double click none.
    rig.doubleClick(rig.pixelOf(10, 90));
    EXPECT_EQ(log.entries, (Log{"completed 4", "drawingStopped"}));
    ASSERT_EQ(log.lastPolygon.size(), 4);
    EXPECT_EQ(log.lastPolygon[0], rig.dataAt(corners[0])); // data units, placing order, open
    EXPECT_EQ(log.lastPolygon[3], rig.dataAt(rig.pixelOf(10, 90)));
    EXPECT_FALSE(rig.plot.isDrawingPolygon());
    EXPECT_EQ(rig.canvas()->cursor().shape(), Qt::ArrowCursor);
}

TEST(ScatterPlotPolygonTest, DrawingSequences)
{
    struct Case
    {
        const char* name;
        std::function<void(PlotRig&)> act;
        Log expected;
        bool stillDrawing;
    };
    const Case cases[] = {
        {"double click with two vertices keeps drawing",
         [](PlotRig& r) {
             r.click(r.pixelOf(10, 10));
             r.doubleClick(r.pixelOf(50, 50));
         },
         {}, true},
        {"Esc", [](PlotRig& r) {
             r.click(r.pixelOf(10, 10));
             EXPECT_TRUE(r.key(Qt::Key_Escape));
         },
         {"drawingStopped"}, false},
        {"stop", [](PlotRig& r) { r.plot.stopPolygonDrawing(); }, {"drawingStopped"}, false},
        {"right click rescales and keeps drawing",
         [](PlotRig& r) {
             EXPECT_TRUE(r.press(r.pixelOf(10, 10), Qt::RightButton));
             EXPECT_TRUE(r.plot.axisAutoScale(QwtPlot::xBottom));
         },
         {}, true},
        {"editing starts", [](PlotRig& r) { r.plot.startPolygonEditing(3, QPolygonF({{1, 1}, {2, 1}, {2, 2}})); },
         {"drawingStopped"}, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PlotRig rig({50.0}, {50.0});
        SignalLog log(rig.plot);
        rig.plot.startPolygonDrawing();
        k.act(rig);
        EXPECT_EQ(log.entries, k.expected);
        EXPECT_EQ(rig.plot.isDrawingPolygon(), k.stillDrawing);
    }
}

class PolygonEditTest : public ::testing::Test
{
protected:
    PlotRig rig{{50.0}, {50.0}};
    // A square of side 40 and a triangle.
    const QPolygonF square{QVector<QPointF>{{20, 20}, {60, 20}, {60, 60}, {20, 60}}};
    const QPolygonF triangle{QVector<QPointF>{{20, 20}, {60, 20}, {40, 60}}};
};

TEST_F(PolygonEditTest, RightClickDeletesAVertexButKeepsATriangle)
{
    SignalLog log(rig.plot);
    rig.plot.startPolygonEditing(7, square);
    EXPECT_TRUE(rig.press(rig.pixelOf(60, 20) + QPoint(5, 5), Qt::RightButton)); // 7 px away
    EXPECT_EQ(log.entries, (Log{"edited 7 3"}));
    EXPECT_EQ(log.lastPolygon, QPolygonF(QVector<QPointF>{{20, 20}, {60, 60}, {20, 60}}));
    // Now a triangle: nothing is deleted, nothing emitted, still consumed.
    EXPECT_TRUE(rig.press(rig.pixelOf(20, 20), Qt::RightButton));
    // Beyond 12 pixels from every vertex: nothing.
    EXPECT_TRUE(rig.press(rig.pixelOf(20, 20) + QPoint(9, 9), Qt::RightButton));
    EXPECT_EQ(log.entries, (Log{"edited 7 3"}));
}

TEST_F(PolygonEditTest, DraggingAVertexReportsOnRelease)
{
    SignalLog log(rig.plot);
    rig.plot.startPolygonEditing(7, square);
    EXPECT_TRUE(rig.press(rig.pixelOf(60, 60)));
    EXPECT_EQ(rig.canvas()->cursor().shape(), Qt::ClosedHandCursor);
    const QPoint target = rig.pixelOf(80, 70);
    EXPECT_TRUE(rig.move(target, Qt::LeftButton));
    EXPECT_TRUE(log.entries.empty());
    EXPECT_TRUE(rig.release(target));
    EXPECT_EQ(log.entries, (Log{"edited 7 4"}));
    EXPECT_EQ(log.lastPolygon[2], rig.dataAt(target));
    EXPECT_EQ(log.lastPolygon[0], QPointF(20, 20));
    EXPECT_EQ(rig.canvas()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(PolygonEditTest, ClickOnAnEdgeInsertsAVertexReportedOnRelease)
{
    SignalLog log(rig.plot);
    rig.plot.startPolygonEditing(7, triangle);
    // The closing edge from (40, 60) back to (20, 20), a little off the line.
    const QPoint onEdge = rig.pixelOf(30, 40) + QPoint(3, 0);
    EXPECT_EQ(rig.plot.findVertexAt(onEdge), -1);
    EXPECT_EQ(rig.plot.findEdgeAt(onEdge), 2);
    EXPECT_TRUE(rig.press(onEdge));
    EXPECT_TRUE(log.entries.empty());
    EXPECT_TRUE(rig.release(onEdge));
    EXPECT_EQ(log.entries, (Log{"edited 7 4"}));
    EXPECT_EQ(log.lastPolygon[3], rig.dataAt(onEdge)); // after vertex 2, at the cursor
    EXPECT_EQ(log.lastPolygon[2], QPointF(40, 60));

    // Presses far from the polygon change nothing but are consumed; their releases are not.
    EXPECT_TRUE(rig.press(rig.pixelOf(90, 90)));
    EXPECT_FALSE(rig.release(rig.pixelOf(90, 90)));
    EXPECT_TRUE(rig.press(rig.pixelOf(90, 90), Qt::MiddleButton));
    EXPECT_EQ(log.entries.size(), 1u);
}

TEST_F(PolygonEditTest, VertexAndEdgeHitDistances)
{
    rig.plot.startPolygonEditing(1, square);
    const QPoint corner = rig.pixelOf(20, 20);
    struct Case
    {
        QPoint offset;
        int vertex;
        int edge;
    };
    const Case cases[] = {
        {{0, 0}, 0, -1},   // the corner itself: its edges' projections reach it too, but vertex wins in use
        {{8, 8}, 0, -1},   // 11.3 px: still the vertex
        {{9, 9}, -1, -1},  // 12.7 px: neither (the projection onto the bottom edge is 9 px off)
        {{30, -7}, -1, 0}, // 7 px from the bottom edge
        {{30, -9}, -1, -1},
        {{-20, 0}, -1, -1}, // beyond the edge's end: the projection falls outside [0, 1]
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.offset.x() << ", " << k.offset.y());
        EXPECT_EQ(rig.plot.findVertexAt(corner + k.offset), k.vertex);
        if (k.vertex < 0) {
            EXPECT_EQ(rig.plot.findEdgeAt(corner + k.offset), k.edge);
        }
    }
}

TEST_F(PolygonEditTest, SwitchingAndStoppingEmitTheOldId)
{
    rig.plot.setFilterPolygon(4, square, true);
    rig.plot.setFilterPolygon(9, triangle, true);
    QwtPlotShapeItem* a = rig.plot.filterPolygonItems().at(4);
    QwtPlotShapeItem* b = rig.plot.filterPolygonItems().at(9);
    SignalLog log(rig.plot);

    rig.plot.startPolygonEditing(4, square);
    EXPECT_FALSE(a->isVisible());
    rig.plot.startPolygonEditing(9, triangle);
    EXPECT_EQ(log.entries, (Log{"editingStopped 4"}));
    EXPECT_TRUE(a->isVisible());
    EXPECT_FALSE(b->isVisible());
    EXPECT_EQ(rig.plot.editingPolygonId(), 9);

    EXPECT_TRUE(rig.key(Qt::Key_Escape));
    EXPECT_EQ(log.entries, (Log{"editingStopped 4", "editingStopped 9"}));
    EXPECT_TRUE(b->isVisible());
    EXPECT_FALSE(rig.plot.isEditingPolygon());
    EXPECT_EQ(rig.plot.editingPolygonId(), -1);

    rig.plot.startPolygonEditing(4, square);
    rig.plot.startPolygonDrawing();
    EXPECT_EQ(log.entries.back(), "editingStopped 4");
    EXPECT_TRUE(rig.plot.isDrawingPolygon());
    rig.plot.stopPolygonEditing(); // not editing: nothing
    EXPECT_EQ(log.entries.size(), 3u);
}

TEST(ScatterPlotHoverTest, HoverReportsOnlyWhileDrawingOrEditingAndOnlyChanges)
{
    PlotRig rig({30.0, 70.0}, {30.0, 70.0});
    QSignalSpy hovered(&rig.plot, &ScatterPlot::pointHovered);
    EXPECT_FALSE(rig.move(rig.pixelOf(30, 30)));
    EXPECT_EQ(hovered.count(), 0);

    rig.plot.startPolygonDrawing();
    EXPECT_FALSE(rig.move(rig.pixelOf(30, 30))); // passed on
    EXPECT_FALSE(rig.move(rig.pixelOf(31, 30)));
    ASSERT_EQ(hovered.count(), 1);
    EXPECT_EQ(hovered.at(0).at(0).toInt(), 0);
    rig.move(rig.pixelOf(50, 50)); // near nothing: no report
    rig.move(rig.pixelOf(70, 69));
    rig.move(rig.pixelOf(30, 30));
    ASSERT_EQ(hovered.count(), 3);
    EXPECT_EQ(hovered.at(1).at(0).toInt(), 1);
    EXPECT_EQ(hovered.at(2).at(0).toInt(), 0);

    rig.plot.stopPolygonDrawing();
    rig.plot.startPolygonEditing(2, QPolygonF({{10, 10}, {20, 10}, {20, 20}}));
    rig.move(rig.pixelOf(20, 10));
    EXPECT_EQ(rig.canvas()->cursor().shape(), Qt::OpenHandCursor);
    rig.move(rig.pixelOf(15, 10));
    EXPECT_EQ(rig.canvas()->cursor().shape(), Qt::CrossCursor);
    rig.move(rig.pixelOf(70, 70));
    EXPECT_EQ(rig.canvas()->cursor().shape(), Qt::ArrowCursor);
    ASSERT_EQ(hovered.count(), 4);
    EXPECT_EQ(hovered.at(3).at(0).toInt(), 1);
}

} // namespace
} // namespace Tervane3
