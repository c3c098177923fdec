// The comparison plot: boxes, mean lines and jittered points per category, connection
// lines of replicate IDs, significance brackets stacked by span, the category axis and the
// nearest-point tooltip.
#include "stats/ComparisonPlot.h"

#include "StatsFixture.h"
#include "stats/CategoryScaleDraw.h"
#include "stats/PlotPointTooltip.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_marker.h>
#include <qwt_scale_map.h>
#include <qwt_symbol.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QToolTip>
#include <QWidget>

#include <cmath>
#include <memory>

using namespace Tervane3;
using Tervane3::Test::tooltipOf;

namespace {

std::vector<QwtPlotCurve*> curvesAt(QwtPlot* plot, double z)
{
    std::vector<QwtPlotCurve*> curves;
    for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotCurve))
        if (item->z() == z)
            curves.push_back(static_cast<QwtPlotCurve*>(item));
    return curves;
}

std::vector<QPointF> samplesOf(const QwtPlotCurve* curve)
{
    std::vector<QPointF> points;
    for (size_t i = 0; i < curve->dataSize(); ++i)
        points.push_back(curve->sample(static_cast<int>(i)));
    return points;
}

TEST(ComparisonPlotTest, BoxesMeanLinesAndJitteredPoints)
{
    std::unique_ptr<QwtPlot> plot(buildAnalysisPlot(
        QStringLiteral("Area [µm²]"), {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")},
        {QColor(Qt::red)}, {{2.0}, {1, 2, 3, 4, 5, 6}, {}}, {{QStringLiteral("only")}, {}}, nullptr, {}));
    EXPECT_EQ(plot->axisTitle(QwtPlot::yLeft).text(), QStringLiteral("Area [µm²]"));
    EXPECT_EQ(plot->axisScaleDiv(QwtPlot::xBottom).lowerBound(), -0.5);
    EXPECT_EQ(plot->axisScaleDiv(QwtPlot::xBottom).upperBound(), 2.5);
    EXPECT_EQ(plot->minimumHeight(), 280);

    const auto boxes = curvesAt(plot.get(), 10);
    ASSERT_EQ(boxes.size(), 2u) << "the empty category draws nothing";
    // One value: a flat box (sd 0) at the value, 0.4 wide.
    EXPECT_EQ(samplesOf(boxes[0]), (std::vector<QPointF>{{-0.2, 2}, {-0.2, 2}, {0.2, 2}, {0.2, 2}, {-0.2, 2}}));
    EXPECT_EQ(boxes[0]->pen().color(), QColor(Qt::red));
    EXPECT_EQ(boxes[0]->brush().color().alpha(), 40);
    // Six values 1..6: mean 3.5, sd sqrt(3.5); the colour beyond the given list is the table's second.
    const double sd = std::sqrt(3.5);
    EXPECT_NEAR(samplesOf(boxes[1])[1].y(), 3.5 + sd, 1e-12);
    EXPECT_NEAR(samplesOf(boxes[1])[0].y(), 3.5 - sd, 1e-12);
    EXPECT_EQ(boxes[1]->pen().color(), QColor(220, 80, 60));
    const auto means = curvesAt(plot.get(), 15);
    ASSERT_EQ(means.size(), 2u);
    EXPECT_EQ(samplesOf(means[1]), (std::vector<QPointF>{{0.8, 3.5}, {1.2, 3.5}}));

    const auto points = curvesAt(plot.get(), 20);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0]->style(), QwtPlotCurve::NoCurve);
    EXPECT_EQ(points[0]->symbol()->style(), QwtSymbol::Ellipse);
    EXPECT_EQ(samplesOf(points[0]), (std::vector<QPointF>{{-0.08, 2}}));
    const std::vector<double> expectedX = {0.92, 0.96, 1.0, 1.04, 1.08, 0.92};
    const auto second = samplesOf(points[1]);
    ASSERT_EQ(second.size(), 6u);
    for (size_t k = 0; k < 6; ++k)
        EXPECT_NEAR(second[k].x(), expectedX[k], 1e-12) << "point " << k;

    PlotPointTooltip* tooltip = tooltipOf(plot.get());
    ASSERT_NE(tooltip, nullptr);
    ASSERT_EQ(tooltip->points().size(), 7u);
    EXPECT_EQ(tooltip->points()[0].label, QStringLiteral("only"));
    EXPECT_EQ(tooltip->points()[6].label, QStringLiteral("Dataset 5"));
}

TEST(ComparisonPlotTest, ConnectionLinesJoinTheValuesOfOneId)
{
    ReplicateView view;
    view.valuesById = {{{1, 1.0}, {2, 2.0}, {3, 3.0}}, {{1, 1.5}, {2, 2.5}, {3, 3.5}, {4, 9.0}}};
    view.connectLines = true;
    std::unique_ptr<QwtPlot> plot(buildAnalysisPlot(QStringLiteral("y"), {QStringLiteral("A"), QStringLiteral("B")},
                                                    {}, {{100, 200}, {300}}, {}, &view, {}));
    const auto lines = curvesAt(plot.get(), 5);
    ASSERT_EQ(lines.size(), 3u) << "ID 4 is in one category only";
    EXPECT_EQ(samplesOf(lines[0]), (std::vector<QPointF>{{-0.08, 1.0}, {0.92, 1.5}}));
    EXPECT_EQ(lines[2]->pen().color(), QColor(150, 150, 150, 120));
    EXPECT_EQ(tooltipOf(plot.get())->points()[3].label, QStringLiteral("ID 1"));

    view.connectLines = false;
    std::unique_ptr<QwtPlot> plain(buildAnalysisPlot(QStringLiteral("y"), {QStringLiteral("A"), QStringLiteral("B")},
                                                     {}, {}, {}, &view, {}));
    EXPECT_TRUE(curvesAt(plain.get(), 5).empty());
}

TEST(ComparisonPlotTest, BracketsStackBySpan)
{
    // Values 1..3, 4..6, 7..9: top 9; the drawn span runs from box 1's mean - sd = 1 to 9.
    std::unique_ptr<QwtPlot> plot(buildAnalysisPlot(
        QStringLiteral("y"), {QStringLiteral("P"), QStringLiteral("Q"), QStringLiteral("R")}, {},
        {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {}, nullptr,
        {{0, 2, QStringLiteral("***")}, {0, 1, QStringLiteral("*")}, {1, 2, QStringLiteral("**")}}));
    const double u = 9.0 - 1.0;
    const auto brackets = curvesAt(plot.get(), 30);
    ASSERT_EQ(brackets.size(), 3u);
    const double y0 = 9 + 0.08 * u;
    const double h = 0.06 * u;
    // The two short brackets lowest, in their given order, the long one above.
    const std::vector<std::pair<int, int>> spans = {{0, 1}, {1, 2}, {0, 2}};
    for (size_t i = 0; i < 3; ++i) {
        const auto s = samplesOf(brackets[i]);
        ASSERT_EQ(s.size(), 4u);
        const double y = y0 + static_cast<double>(i) * h;
        EXPECT_NEAR(s[1].y(), y, 1e-12) << i;
        EXPECT_NEAR(s[0].y(), y - 0.3 * h, 1e-12) << i;
        EXPECT_EQ(s[0].x(), spans[i].first);
        EXPECT_EQ(s[3].x(), spans[i].second);
    }
    std::vector<QwtPlotMarker*> markers;
    for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotMarker))
        markers.push_back(static_cast<QwtPlotMarker*>(item));
    ASSERT_EQ(markers.size(), 3u);
    EXPECT_EQ(markers[0]->label().text(), QStringLiteral("*"));
    EXPECT_EQ(markers[2]->label().text(), QStringLiteral("***"));
    EXPECT_NEAR(markers[2]->yValue(), y0 + 2 * h + 0.15 * h, 1e-12);
    EXPECT_EQ(markers[2]->xValue(), 1.0);
    EXPECT_EQ(markers[0]->labelAlignment(), Qt::AlignHCenter | Qt::AlignBottom);
    EXPECT_TRUE(markers[0]->label().font().bold());
}

TEST(ComparisonPlotTest, BracketStepWithoutSpread)
{
    // Every value equal: no span, so the step is half the top value; at 0 it is 1.
    for (const double value : {4.0, 0.0}) {
        SCOPED_TRACE(value);
        std::unique_ptr<QwtPlot> plot(buildAnalysisPlot(QStringLiteral("y"), {QStringLiteral("A"), QStringLiteral("B")},
                                                        {}, {{value, value}, {value}}, {}, nullptr,
                                                        {{0, 1, QStringLiteral("*")}}));
        const double u = value > 0 ? 0.5 * value : 1.0;
        const auto brackets = curvesAt(plot.get(), 30);
        ASSERT_EQ(brackets.size(), 1u);
        EXPECT_NEAR(samplesOf(brackets[0])[1].y(), value + 0.08 * u, 1e-12);
    }
}

TEST(ComparisonPlotTest, CategoryAxisRoundsHalvesAwayFromZero)
{
    const CategoryScaleDraw draw({QStringLiteral("A"), QStringLiteral("B")});
    EXPECT_EQ(draw.label(0.0).text(), QStringLiteral("A"));
    EXPECT_EQ(draw.label(0.49).text(), QStringLiteral("A"));
    EXPECT_EQ(draw.label(0.5).text(), QStringLiteral("B"));
    EXPECT_EQ(draw.label(1.4).text(), QStringLiteral("B"));
    // Regression: -0.5 rounded to 0 and labelled the axis' left end with the first name.
    EXPECT_TRUE(draw.label(-0.5).text().isEmpty());
    EXPECT_TRUE(draw.label(1.5).text().isEmpty());
}

TEST(ComparisonPlotTest, TooltipShowsTheNearestPointWithin12Pixels)
{
    std::unique_ptr<QwtPlot> plot(buildAnalysisPlot(QStringLiteral("y"), {QStringLiteral("A")}, {}, {{5.0}},
                                                    {{QStringLiteral("S1")}}, nullptr, {}));
    plot->resize(400, 300);
    plot->show();
    QCoreApplication::processEvents();
    plot->replot();
    PlotPointTooltip* tooltip = tooltipOf(plot.get());
    ASSERT_NE(tooltip, nullptr);
    EXPECT_TRUE(plot->canvas()->hasMouseTracking());
    const QPointF at(plot->canvasMap(QwtPlot::xBottom).transform(-0.08),
                     plot->canvasMap(QwtPlot::yLeft).transform(5.0));
    EXPECT_EQ(tooltip->nearestPoint(at + QPointF(11.9, 0)), 0);
    EXPECT_EQ(tooltip->nearestPoint(at + QPointF(12, 0)), -1) << "the distance must be below 12 px";
    EXPECT_EQ(PlotPointTooltip::tooltipText(tooltip->points()[0]), QStringLiteral("S1\n(5)"));
    EXPECT_EQ(PlotPointTooltip::tooltipText({0, 1.234567, QStringLiteral("x")}), QStringLiteral("x\n(1.2346)"));

    Tervane3::Test::ExpectQtWarnings offscreenRaise; // the tooltip label is raised
    QMouseEvent move(QEvent::MouseMove, at, plot->canvas()->mapToGlobal(at.toPoint()), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(plot->canvas(), &move);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("S1\n(5)"));
    QToolTip::hideText();
}

} // namespace
