// The current event of the active dataset: choosing it (plot click or hover, the "Event:"
// spin box, the mask switch) and showing it (image with mask, traces, feature values).
// GUI thread only.
#include "mainwindow/MainWindow.h"

#include "calc/CalculationsDockWidget.h"
#include "core/Metadata.h"
#include "core/RTDCReader.h"
#include "app/DatasetEntry.h"
#include "plots/ImageViewer.h"
#include "plots/ScatterPlot.h"
#include "plots/TracePlot.h"

#include <QHeaderView>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace Tervane3 {

namespace {

// The channel number of a key such as "channel 2 name": the one character after the prefix.
std::optional<int> channelDigit(const std::string& key, size_t prefixLength)
{
    if (key.size() <= prefixLength)
        return std::nullopt;
    const char c = key[prefixLength];
    if (c < '0' || c > '9')
        return std::nullopt;
    return c - '0';
}

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

bool contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

void MainWindow::displayEvent(int eventIndex)
{
    DatasetEntry* entry = findDatasetById(activeDatasetId());
    if (!entry || !entry->reader)
        return;
    const RTDCReader& reader = *entry->reader;

    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    if (eventIndex >= 0 && reader.hasImage())
        pixels = reader.readImage(static_cast<std::uint64_t>(eventIndex), width, height);
    if (!pixels.empty()) {
        const QString caption = QStringLiteral("Event %1").arg(eventIndex);
        bool shown = false;
        if (imageViewer->isMaskShown() && reader.hasMask()) {
            int maskWidth = 0;
            int maskHeight = 0;
            const std::vector<std::uint8_t> mask =
                reader.readMask(static_cast<std::uint64_t>(eventIndex), maskWidth, maskHeight);
            if (!mask.empty() && maskWidth == width && maskHeight == height) {
                imageViewer->setImageWithMask(pixels, mask, width, height,
                                              caption + QStringLiteral(" (with mask)"));
                shown = true;
            }
        }
        if (!shown)
            imageViewer->setImage(pixels, width, height, caption);
    } else {
        // A measurement without images, or an event without a readable one: the viewer says
        // "No Image" rather than keeping the previous event's picture; the event's traces and
        // values are still shown.
        imageViewer->clear();
    }

    displayEventTraces(eventIndex);
    updateEventDataTable(eventIndex);
}

void MainWindow::updateEventDataTable(int eventIndex)
{
    const DatasetEntry* entry = findDatasetById(activeDatasetId());
    if (!entry || !entry->reader) {
        eventDataTable->setRowCount(0);
        return;
    }
    const RTDCReader& reader = *entry->reader;
    std::vector<std::string> names = reader.featureNames();
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& name) { return !isScalarFeatureName(name); }),
                names.end());

    eventDataTable->setRowCount(static_cast<int>(names.size()));
    for (int row = 0; row < static_cast<int>(names.size()); ++row) {
        const std::string& key = names[static_cast<size_t>(row)];
        auto* label = new QTableWidgetItem(QString::fromStdString(reader.featureLabel(key)));
        label->setToolTip(QString::fromStdString(key));
        label->setFlags(label->flags() & ~Qt::ItemIsEditable);
        // QString::number never uses the locale's separators.
        QString text;
        const std::vector<double>& column = reader.getFeature(key);
        if (eventIndex >= 0 && static_cast<size_t>(eventIndex) < column.size())
            text = QString::number(column[static_cast<size_t>(eventIndex)], 'g', 6);
        auto* value = new QTableWidgetItem(text);
        value->setFlags(value->flags() & ~Qt::ItemIsEditable);
        eventDataTable->setItem(row, 0, label);
        eventDataTable->setItem(row, 1, value);
    }
    eventDataTable->resizeColumnsToContents();
    // Long labels must not push the values out of the narrow pane: the label column takes
    // at most three fifths of it and elides the rest (the key is in the tooltip). The tab
    // widget's width counts, since the table may sit on a tab that is not shown (and then
    // has no up-to-date size of its own).
    const int labelLimit = viewTabs->width() * 3 / 5;
    if (labelLimit > 0 && eventDataTable->columnWidth(0) > labelLimit)
        eventDataTable->setColumnWidth(0, labelLimit);
}

void MainWindow::onPointClicked(int plottedIndex)
{
    // Measurements without images are picked too: their events have traces and values.
    DatasetEntry* entry = findDatasetById(activeDatasetId());
    if (!entry || !entry->reader)
        return;
    int eventIndex = plottedIndex;
    if (!plottedEventIndices.empty()) {
        if (plottedIndex < 0 || static_cast<size_t>(plottedIndex) >= plottedEventIndices.size())
            return;
        eventIndex = plottedEventIndices[static_cast<size_t>(plottedIndex)];
    }
    if (eventIndex < 0 || static_cast<std::uint64_t>(eventIndex) >= entry->reader->eventCount())
        return;

    entry->currentEventIndex = eventIndex;
    {
        const QSignalBlocker blocker(eventSpin);
        eventSpin->setValue(eventIndex);
    }
    scatterPlot->setHighlightedPoint(plottedIndex);
    displayEvent(eventIndex);
}

void MainWindow::onEventSpinBoxChanged(int eventIndex)
{
    DatasetEntry* entry = findDatasetById(activeDatasetId());
    if (!entry || !entry->reader)
        return;
    if (eventIndex < 0 || static_cast<std::uint64_t>(eventIndex) >= entry->reader->eventCount())
        return;

    entry->currentEventIndex = eventIndex;
    if (plottedEventIndices.empty()) {
        scatterPlot->setHighlightedPoint(eventIndex);
    } else {
        const auto found = std::find(plottedEventIndices.begin(), plottedEventIndices.end(), eventIndex);
        if (found != plottedEventIndices.end())
            scatterPlot->setHighlightedPoint(static_cast<int>(found - plottedEventIndices.begin()));
        else
            scatterPlot->hideHighlight(); // filtered out: shown, but not on the plot
    }
    displayEvent(eventIndex);
}

void MainWindow::onMaskToggled(bool)
{
    const DatasetEntry* entry = findDatasetById(activeDatasetId());
    if (entry && entry->currentEventIndex >= 0)
        displayEvent(entry->currentEventIndex);
}

void MainWindow::configureTracePlot()
{
    const DatasetEntry* entry = findDatasetById(activeDatasetId());
    if (!entry || !entry->reader) {
        tracePlot->hide();
        return;
    }
    const RTDCReader& reader = *entry->reader;
    if (!reader.hasTraces()) {
        tracePlot->clearCurves();
        tracePlot->hide();
        return;
    }

    double rate = 0.0;
    std::map<int, std::string> names;
    std::map<int, double> offsets;
    // A key whose number does not parse is skipped; the others still count.
    for (const auto& [key, value] : entry->metadata.fluorescence) {
        if (key == "sample rate" || key == "sample_rate") {
            if (const auto parsed = leadingDouble(value))
                rate = *parsed;
        } else if ((startsWith(key, "channel ") && contains(key, " name"))
                   || (startsWith(key, "channel_") && contains(key, "_name"))) {
            if (const auto n = channelDigit(key, 8))
                names[*n] = value;
        } else if ((startsWith(key, "baseline ") && contains(key, " offset"))
                   || (startsWith(key, "baseline_") && contains(key, "_offset"))) {
            const auto n = channelDigit(key, 9);
            const auto parsed = leadingDouble(value);
            if (n && parsed)
                offsets[*n] = *parsed;
        }
    }

    const std::vector<std::string> traces = reader.traceNames();
    if (names.empty()) {
        for (const std::string& trace : traces) {
            if (trace.size() > 2 && startsWith(trace, "fl") && trace[2] >= '1' && trace[2] <= '9') {
                const int n = trace[2] - '0';
                names.emplace(n, "FL" + std::to_string(n));
            }
        }
    }
    if (rate <= 0.0)
        rate = 1.0;

    tracePlot->setChannels(names, offsets, rate, traces, calculationsPanel->showRefinedTrace());
    tracePlot->setVisible(tracePlot->hasChannels());
}

void MainWindow::displayEventTraces(int eventIndex)
{
    const DatasetEntry* entry = findDatasetById(activeDatasetId());
    if (!entry || !entry->reader || !entry->reader->hasTraces() || !tracePlot->hasChannels()) {
        tracePlot->clearCurves();
        return;
    }
    std::map<std::string, std::vector<float>> traces;
    if (eventIndex >= 0) {
        // A channel named in the metadata may have no trace of the plotted kind (a file with
        // raw traces only): its curve stays hidden, without a failed read logged per event.
        const std::vector<std::string> available = entry->reader->traceNames();
        for (const TraceChannel& channel : tracePlot->channelList()) {
            if (std::find(available.begin(), available.end(), channel.traceName) == available.end())
                continue;
            std::vector<float> samples =
                entry->reader->getTrace(channel.traceName, static_cast<std::uint64_t>(eventIndex));
            if (!samples.empty())
                traces.emplace(channel.traceName, std::move(samples));
        }
    }
    tracePlot->setTraces(traces);
}

} // namespace Tervane3
