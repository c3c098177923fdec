// The trace plot: wavelength colours, channel set-up (names, offsets, refined traces) and
// the curves of one event.
#include "plots/TracePlot.h"

#include <gtest/gtest.h>

#include <qwt_plot_curve.h>
#include <qwt_scale_div.h>

namespace Tervane3 {
namespace {

TEST(TracePlotTest, WavelengthColourTable)
{
    struct Case
    {
        double nm;
        int r, g, b;
    };
    // Hand-computed from the ranges, the edge fall-off and the 0.8 gamma; 488, 525, 593 and
    // 780 nm are the documented examples.
    const Case cases[] = {
        {379.9, 128, 128, 128}, // below the visible range
        {380, 97, 0, 97},       // f = 0.3: 255 x 0.3^0.8
        {410, 125, 0, 218},     // r = 0.5, f = 0.825
        {440, 0, 0, 255},       // lower bound of the blue-cyan range
        {488, 0, 246, 255},
        {500, 0, 255, 146},     // b = 0.5
        {525, 74, 255, 0},
        {593, 255, 213, 0},
        {645, 255, 0, 0},
        {700, 255, 0, 0},       // f still 1
        {740, 180, 0, 0},       // f = 0.65
        {780, 97, 0, 0},
        {780.1, 128, 128, 128}, // above
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nm);
        const QColor color = wavelengthColor(c.nm);
        EXPECT_EQ(color.red(), c.r);
        EXPECT_EQ(color.green(), c.g);
        EXPECT_EQ(color.blue(), c.b);
        EXPECT_EQ(color.alpha(), 255);
    }
}

TEST(TracePlotTest, ChannelWavelengthReadsTheLeadingNumber)
{
    const std::pair<const char*, int> cases[] = {
        {"525/50", 525}, {"488", 488}, {"640/30/2", 640}, {"FL1", 0},
        {"", 0},         {"/50", 0},   {"99999999999", 0},
    };
    for (const auto& [name, nm] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(channelWavelength(name), nm);
    }
}

TEST(TracePlotTest, ChannelsTakeColourOffsetAndRefinedTraceFromTheirInputs)
{
    TracePlot plot;
    EXPECT_FALSE(plot.hasChannels());
    plot.setChannels({{2, "FL2 emission"}, {1, "488"}, {3, "593/46"}}, {{1, 20.0}, {9, 5.0}}, 1.0e6,
                     {"fl1_median", "fl2_median", "fl2_median_rf", "fl3_median"}, true);
    ASSERT_TRUE(plot.hasChannels());
    const auto& channels = plot.channelList();
    const auto& curves = plot.curveList();
    ASSERT_EQ(channels.size(), 3u);
    ASSERT_EQ(curves.size(), 3u);

    EXPECT_EQ(channels[0].channel, 1);
    EXPECT_EQ(channels[0].traceName, "fl1_median");
    EXPECT_EQ(channels[0].color, QColor(0, 246, 255));
    EXPECT_DOUBLE_EQ(channels[0].baselineOffset, 20.0);
    EXPECT_EQ(curves[0]->title().text(), QStringLiteral("FL1 (488)"));

    // A name without a wavelength is drawn in Qt's grey; only channel 2 has a refined trace.
    EXPECT_EQ(channels[1].color, QColor(Qt::gray));
    EXPECT_EQ(channels[1].traceName, "fl2_median_rf");
    EXPECT_DOUBLE_EQ(channels[1].baselineOffset, 0.0);
    EXPECT_EQ(curves[1]->title().text(), QStringLiteral("FL2 refined (FL2 emission)"));

    EXPECT_EQ(channels[2].traceName, "fl3_median");
    EXPECT_EQ(channels[2].color, QColor(255, 213, 0));
    EXPECT_EQ(curves[2]->title().text(), QStringLiteral("FL3 (593/46)"));

    for (const QwtPlotCurve* curve : curves) {
        EXPECT_FALSE(curve->isVisible());
        EXPECT_EQ(curve->pen().widthF(), 2.0);
        EXPECT_TRUE(curve->testRenderHint(QwtPlotItem::RenderAntialiased));
    }
    EXPECT_EQ(curves[0]->pen().color(), QColor(0, 246, 255));

    // Without the refined choice every channel shows its median trace.
    plot.setChannels({{2, "FL2 emission"}}, {}, 1.0e6, {"fl2_median", "fl2_median_rf"}, false);
    ASSERT_EQ(plot.channelList().size(), 1u);
    EXPECT_EQ(plot.channelList()[0].traceName, "fl2_median");
    EXPECT_EQ(plot.curveList()[0]->title().text(), QStringLiteral("FL2 (FL2 emission)"));
}

TEST(TracePlotTest, TracesAreDrawnInMicrosecondsWithTheBaselineOffset)
{
    TracePlot plot;
    plot.setChannels({{1, "488"}, {2, "525/50"}}, {{1, 20.0}}, 250000.0, {"fl1_median", "fl2_median"}, false);
    plot.setTraces({{"fl1_median", {1.0f, 2.5f, -3.0f}}, {"fl2_median", {}}});

    const QwtPlotCurve* first = plot.curveList()[0];
    ASSERT_EQ(first->dataSize(), 3u);
    EXPECT_TRUE(first->isVisible());
    // 250 000 samples per second: one sample every 4 µs.
    EXPECT_EQ(first->sample(0), QPointF(0.0, 21.0));
    EXPECT_EQ(first->sample(1), QPointF(4.0, 22.5));
    EXPECT_EQ(first->sample(2), QPointF(8.0, 17.0));
    // An empty trace hides its channel.
    EXPECT_EQ(plot.curveList()[1]->dataSize(), 0u);
    EXPECT_FALSE(plot.curveList()[1]->isVisible());
    // The signal axis keeps its fixed range.
    const QwtScaleDiv& y = plot.axisScaleDiv(QwtPlot::yLeft);
    EXPECT_DOUBLE_EQ(y.lowerBound(), TracePlot::signalMin);
    EXPECT_DOUBLE_EQ(y.upperBound(), TracePlot::signalMax);

    // A rate of 0 steps by one per sample; no traces at all hide everything.
    plot.setChannels({{1, "488"}}, {}, 0.0, {"fl1_median"}, false);
    plot.setTraces({{"fl1_median", {5.0f, 6.0f}}});
    EXPECT_EQ(plot.curveList()[0]->sample(1), QPointF(1.0, 6.0));
    plot.setTraces({});
    EXPECT_FALSE(plot.curveList()[0]->isVisible());
    EXPECT_EQ(plot.curveList()[0]->dataSize(), 0u);

    plot.setTraces({{"fl1_median", {5.0f}}});
    plot.clearCurves();
    EXPECT_FALSE(plot.curveList()[0]->isVisible());
    EXPECT_EQ(plot.curveList()[0]->dataSize(), 0u);
}

} // namespace
} // namespace Tervane3
