// The fluorescence traces of the current event: one curve per channel in the colour of the
// channel's emission wavelength, time in microseconds on x, the signal on a pseudo-log y.
// Channels come from the measurement metadata (MainWindow::configureTracePlot); the curves'
// data change with every displayed event. GUI thread only.
#pragma once

#include <qwt_plot.h>

#include <QColor>

#include <map>
#include <string>
#include <vector>

class QwtPlotCurve;

namespace Tervane3 {

struct TraceChannel
{
    // "fl<N>_median", or "fl<N>_median_rf" when the refined trace is shown.
    std::string traceName;
    // From the metadata, or "FL<N>" when the metadata names none.
    std::string channelName;
    int channel = 0;
    QColor color;
    // Added to every sample.
    double baselineOffset = 0.0;
};

// The wavelength in nm a channel name starts with ("525/50" -> 525, "488" -> 488);
// 0 when it starts with no number.
int channelWavelength(const std::string& channelName);

// The display colour of a light wavelength in nm; grey (128, 128, 128) outside 380..780.
QColor wavelengthColor(double nanometres);

class TracePlot : public QwtPlot
{
public:
    // The fixed range of the signal axis.
    static constexpr double signalMin = -10.0;
    static constexpr double signalMax = 35000.0;

    explicit TracePlot(QWidget* parent = nullptr);
    ~TracePlot() override;

    // Replaces channels and curves: one channel per entry of channelNames, ascending. The
    // refined trace is used for a channel when showRefined is set and availableTraces
    // holds it. Curves stay hidden until setTraces gives them data.
    void setChannels(const std::map<int, std::string>& channelNames, const std::map<int, double>& baselineOffsets,
                     double sampleRate, const std::vector<std::string>& availableTraces, bool showRefined);
    // One event's traces by trace name; a channel without samples here is hidden.
    void setTraces(const std::map<std::string, std::vector<float>>& traces);
    // Every curve emptied and hidden.
    void clearCurves();
    bool hasChannels() const { return !channels.empty(); }

    const std::vector<TraceChannel>& channelList() const { return channels; }
    const std::vector<QwtPlotCurve*>& curveList() const { return curves; }
    double sampleRateHz() const { return sampleRate; }

private:
    double sampleRate = 0.0;
    std::vector<TraceChannel> channels;
    std::vector<QwtPlotCurve*> curves; // same order as channels; owned by the plot
};

} // namespace Tervane3
