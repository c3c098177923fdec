// The trace plot: fixed look, wavelength colours, channels and per-event curves.
#include "plots/TracePlot.h"

#include "core/PseudoLogScaleEngine.h"

#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_text.h>

#include <QPen>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace Tervane3 {

int channelWavelength(const std::string& channelName)
{
    const std::string head = channelName.substr(0, channelName.find('/'));
    try {
        return std::stoi(head);
    } catch (const std::logic_error&) { // invalid_argument or out_of_range
        return 0;
    }
}

QColor wavelengthColor(double nm)
{
    if (!(nm >= 380.0 && nm <= 780.0))
        return QColor(128, 128, 128);
    double r = 0.0;
    double g = 0.0;
    double b = 0.0;
    if (nm < 440.0) {
        r = (440.0 - nm) / 60.0;
        b = 1.0;
    } else if (nm < 490.0) {
        g = (nm - 440.0) / 50.0;
        b = 1.0;
    } else if (nm < 510.0) {
        g = 1.0;
        b = (510.0 - nm) / 20.0;
    } else if (nm < 580.0) {
        r = (nm - 510.0) / 70.0;
        g = 1.0;
    } else if (nm < 645.0) {
        r = 1.0;
        g = (645.0 - nm) / 65.0;
    } else {
        r = 1.0;
    }
    // The eye's sensitivity falls off towards both ends of the visible range.
    double f = 1.0;
    if (nm < 420.0)
        f = 0.3 + 0.7 * (nm - 380.0) / 40.0;
    else if (nm > 700.0)
        f = 0.3 + 0.7 * (780.0 - nm) / 80.0;
    const auto component = [f](double c) {
        if (c <= 0.0)
            return 0;
        return std::min(255, static_cast<int>(255.0 * std::pow(c * f, 0.8)));
    };
    return QColor(component(r), component(g), component(b), 255);
}

TracePlot::TracePlot(QWidget* parent)
    : QwtPlot(parent)
{
    setCanvasBackground(Qt::white);
    setMinimumHeight(180);
    setMaximumHeight(260);
    setMinimumWidth(260);
    QFont tickFont = font();
    tickFont.setPointSize(7);
    QFont titleFont = font();
    titleFont.setPointSize(8);
    for (int axis : {int(QwtPlot::xBottom), int(QwtPlot::yLeft)})
        setAxisFont(axis, tickFont);
    QwtText xTitle(QStringLiteral("Time [µs]"));
    xTitle.setFont(titleFont);
    QwtText yTitle(QStringLiteral("Fluorescence [a.u.]"));
    yTitle.setFont(titleFont);
    setAxisTitle(QwtPlot::xBottom, xTitle);
    setAxisTitle(QwtPlot::yLeft, yTitle);
    setAxisScaleEngine(QwtPlot::yLeft, new PseudoLogScaleEngine(100, 0.5));
    setAxisScale(QwtPlot::yLeft, signalMin, signalMax);
    setAxisAutoScale(QwtPlot::xBottom, true);
    auto* grid = new QwtPlotGrid;
    grid->setPen(QPen(Qt::gray, 0.0, Qt::DotLine));
    grid->attach(this);
}

TracePlot::~TracePlot() = default;

void TracePlot::setChannels(const std::map<int, std::string>& channelNames,
                            const std::map<int, double>& baselineOffsets, double rate,
                            const std::vector<std::string>& availableTraces, bool showRefined)
{
    sampleRate = rate;
    channels.clear();
    for (QwtPlotCurve* curve : curves) {
        curve->detach();
        delete curve;
    }
    curves.clear();

    for (const auto& [n, name] : channelNames) {
        TraceChannel ch;
        ch.channel = n;
        ch.channelName = name;
        const int lambda = channelWavelength(name);
        ch.color = lambda >= 1 ? wavelengthColor(lambda) : QColor(Qt::gray);
        const auto offset = baselineOffsets.find(n);
        ch.baselineOffset = offset != baselineOffsets.end() ? offset->second : 0.0;
        const std::string median = "fl" + std::to_string(n) + "_median";
        const std::string refined = median + "_rf";
        const bool useRefined = showRefined
                                && std::find(availableTraces.begin(), availableTraces.end(), refined)
                                       != availableTraces.end();
        ch.traceName = useRefined ? refined : median;

        const QString title = useRefined ? QStringLiteral("FL%1 refined (%2)") : QStringLiteral("FL%1 (%2)");
        auto* curve = new QwtPlotCurve(title.arg(n).arg(QString::fromStdString(name)));
        QPen pen(ch.color, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
        curve->setPen(pen);
        curve->setRenderHint(QwtPlotItem::RenderAntialiased, true);
        curve->attach(this);
        curve->hide();
        channels.push_back(std::move(ch));
        curves.push_back(curve);
    }
    // The old curves must not stay on the canvas until the next event's traces arrive.
    replot();
}

void TracePlot::setTraces(const std::map<std::string, std::vector<float>>& traces)
{
    if (channels.empty() || traces.empty()) {
        clearCurves();
        return;
    }
    const double step = sampleRate > 0.0 ? 1000000.0 / sampleRate : 1.0;
    for (size_t i = 0; i < channels.size(); ++i) {
        const auto found = traces.find(channels[i].traceName);
        if (found == traces.end() || found->second.empty()) {
            curves[i]->setSamples(QVector<QPointF>());
            curves[i]->hide();
            continue;
        }
        const std::vector<float>& samples = found->second;
        QVector<QPointF> points;
        points.reserve(static_cast<int>(samples.size()));
        for (size_t j = 0; j < samples.size(); ++j)
            points.append(QPointF(static_cast<double>(j) * step,
                                  static_cast<double>(samples[j]) + channels[i].baselineOffset));
        curves[i]->setSamples(points);
        curves[i]->show();
    }
    setAxisAutoScale(QwtPlot::xBottom, true);
    setAxisScale(QwtPlot::yLeft, signalMin, signalMax);
    replot();
}

void TracePlot::clearCurves()
{
    for (QwtPlotCurve* curve : curves) {
        curve->setSamples(QVector<QPointF>());
        curve->hide();
    }
    replot();
}

} // namespace Tervane3
