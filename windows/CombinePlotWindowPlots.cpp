// The plots of the combine plot window: the grid of one plot per dataset, the contour
// overlay plot and the shared plot; points in the dataset's colour, one uniform colour or
// by density; contour lines; axis scale engines and limits; isoelastic lines; the
// log-axis warnings of the rows.
//
// Every rebuild throws the plots away and makes them anew, but the values come from the
// plot cache, so a rebuild estimates densities only for datasets whose inputs changed.
// The points are handed to the curves through series adapters over the cached vectors
// (no copies); the curves draw them through their cached point images.
#include "windows/CombinePlotWindow.h"

#include "app/DatasetEntry.h"
#include "app/DatasetHost.h"
#include "app/Prompts.h"
#include "calc/EModulusParams.h"
#include "calc/IsoelasticLine.h"
#include "core/AxisScaleMode.h"
#include "core/PseudoLogScaleEngine.h"
#include "core/RTDCReader.h"
#include "plots/ColorMaps.h"
#include "plots/IsoelasticItems.h"
#include "plots/PlainPointCurve.h"
#include "plots/RoundSpectroCurve.h"
#include "windows/CombineDatasetWidget.h"
#include "windows/FractionalPenScaleDraw.h"

#include <qwt_color_map.h>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_legenditem.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_textlabel.h>
#include <qwt_scale_engine.h>
#include <qwt_series_data.h>
#include <qwt_symbol.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <tuple>

namespace Tervane3 {

namespace {

// (x, y) samples read from the shared cached vectors.
class SharedPointSeries : public QwtSeriesData<QPointF>
{
public:
    SharedPointSeries(SharedValues xs, SharedValues ys)
        : x(std::move(xs))
        , y(std::move(ys))
    {
    }
    size_t size() const override { return x->size(); }
    QPointF sample(size_t i) const override { return QPointF((*x)[i], (*y)[i]); }
    QRectF boundingRect() const override
    {
        if (d_boundingRect.width() < 0.0)
            d_boundingRect = qwtBoundingRect(*this);
        return d_boundingRect;
    }

private:
    SharedValues x, y;
};

// (x, y, density) samples read from the shared cached vectors.
class SharedPoint3DSeries : public QwtSeriesData<QwtPoint3D>
{
public:
    SharedPoint3DSeries(SharedValues xs, SharedValues ys, SharedValues zs)
        : x(std::move(xs))
        , y(std::move(ys))
        , z(std::move(zs))
    {
    }
    size_t size() const override { return x->size(); }
    QwtPoint3D sample(size_t i) const override { return QwtPoint3D((*x)[i], (*y)[i], (*z)[i]); }
    QRectF boundingRect() const override
    {
        if (d_boundingRect.width() < 0.0)
            d_boundingRect = qwtBoundingRect(*this);
        return d_boundingRect;
    }

private:
    SharedValues x, y, z;
};

// The autoscaling bounds of the plotted values: finite ones, positive ones only on a log
// axis; an axis without such a value gets a negative extent (left out of the autoscale).
QRectF pointBounds(const CombinePlotData& plotted, std::pair<int, int> modes)
{
    const auto span = [](const CombineValueSpan& s, bool positiveOnly) -> std::optional<std::pair<double, double>> {
        if (positiveOnly)
            return s.anyPositive ? std::make_optional(std::make_pair(s.positiveLo, s.positiveHi)) : std::nullopt;
        return s.any ? std::make_optional(std::make_pair(s.lo, s.hi)) : std::nullopt;
    };
    const auto x = span(plotted.xSpan, modes.first == ScaleLog);
    const auto y = span(plotted.ySpan, modes.second == ScaleLog);
    QRectF bounds;
    bounds.setLeft(x ? x->first : 0.0);
    bounds.setWidth(x ? x->second - x->first : -1.0);
    bounds.setTop(y ? y->first : 0.0);
    bounds.setHeight(y ? y->second - y->first : -1.0);
    return bounds;
}

bool sameIsoelasticInputs(const EModulusParams& a, const EModulusParams& b)
{
    return a.channelWidth == b.channelWidth && a.flowRate == b.flowRate && a.temperature == b.temperature &&
           a.viscosityModel == b.viscosityModel && a.medium == b.medium && a.manualViscosity == b.manualViscosity &&
           a.pixelSize == b.pixelSize;
}

constexpr size_t kIsoelasticInputSets = 16;

} // namespace

std::pair<int, int> CombinePlotWindow::gridDimensions(int count) const
{
    return combineGridDimensions(count, manualArrayCheck->isChecked(), colsSpin->value(), rowsSpin->value());
}

QwtPlot* CombinePlotWindow::createCombinePlot(QWidget* parent) const
{
    auto* plot = new QwtPlot(parent);
    plot->setAutoReplot(false);
    plot->setCanvasBackground(QBrush(Qt::white));
    for (int axis = 0; axis < QwtPlot::axisCnt; ++axis)
        plot->setAxisScaleDraw(axis, new FractionalPenScaleDraw);
    auto* grid = new QwtPlotGrid;
    QPen pen(Qt::gray);
    pen.setWidth(0);
    pen.setCosmetic(true);
    pen.setStyle(Qt::DotLine);
    grid->setPen(pen);
    grid->setZ(0);
    grid->attach(plot);
    return plot;
}

void CombinePlotWindow::clearPlots()
{
    for (QwtPlot* plot : plots) {
        if (plotGrid)
            plotGrid->removeWidget(plot);
        delete plot;
    }
    plots.clear();
    if (!plotGrid)
        return;
    for (int r = 0; r < plotGrid->rowCount(); ++r)
        plotGrid->setRowStretch(r, 0);
    for (int c = 0; c < plotGrid->columnCount(); ++c)
        plotGrid->setColumnStretch(c, 0);
}

bool CombinePlotWindow::heatmap() const
{
    return colorMode == CombineHeatmap;
}

std::optional<CombineContourRequest> CombinePlotWindow::contourRequest(int xMode, int yMode) const
{
    if (contourCombo->currentIndex() == 0)
        return std::nullopt;
    CombineContourRequest request;
    request.inner = std::min(innerSpin->value(), outerSpin->value()) / 100.0;
    request.outer = std::max(innerSpin->value(), outerSpin->value()) / 100.0;
    request.xMode = clampScaleMode(xMode);
    request.yMode = clampScaleMode(yMode);
    return request;
}

CombinePlotData CombinePlotWindow::collectPlotData(const DatasetEntry* dataset, const CombineDatasetEntry& entry,
                                                  const std::optional<CombineContourRequest>& contours)
{
    return cache.plotData(*host, dataset, entry, heatmap(), contours);
}

std::pair<int, int> CombinePlotWindow::scaleModesForPlot(int index) const
{
    if (syncAxesCheck->isChecked() && !entries.empty())
        index = 0;
    if (index >= 0 && index < static_cast<int>(rows.size())) {
        const CombineDatasetEntry s = rows[static_cast<size_t>(index)]->settings();
        return {s.scaleXMode, s.scaleYMode};
    }
    if (index >= 0 && index < static_cast<int>(entries.size()))
        return {entries[static_cast<size_t>(index)].scaleXMode, entries[static_cast<size_t>(index)].scaleYMode};
    return {0, 0};
}

void CombinePlotWindow::applyScaleEngines(QwtPlot* plot, int xMode, int yMode) const
{
    const auto install = [plot](int axis, int mode) {
        if (mode == ScaleLog)
            plot->setAxisScaleEngine(axis, new QwtLogScaleEngine(10));
        else if (mode == ScalePseudoLog)
            plot->setAxisScaleEngine(axis, new PseudoLogScaleEngine(kPseudoLogThreshold, kPseudoLogLinearWidth));
    };
    install(QwtPlot::xBottom, xMode);
    install(QwtPlot::yLeft, yMode);
}

std::optional<CombineAxisRange> CombinePlotWindow::syncedAxisRange()
{
    readEntriesFromRows();
    std::vector<CombinePlotData> all;
    for (const CombineDatasetEntry& entry : entries)
        all.push_back(collectPlotData(host->findDatasetById(entry.datasetId), entry));
    const auto modes = scaleModesForPlot(0);
    return combineSyncedRange(all, modes.first, modes.second);
}

void CombinePlotWindow::applyAxisLimits(QwtPlot* plot, const std::optional<CombineAxisRange>& synced) const
{
    const auto autoscale = [plot]() {
        plot->setAxisAutoScale(QwtPlot::xBottom, true);
        plot->setAxisAutoScale(QwtPlot::yLeft, true);
    };
    if (!syncAxesCheck->isChecked()) {
        autoscale();
    } else if (manualLimitsCheck->isChecked()) {
        plot->setAxisScale(QwtPlot::xBottom, xMinSpin->value(), xMaxSpin->value());
        plot->setAxisScale(QwtPlot::yLeft, yMinSpin->value(), yMaxSpin->value());
    } else if (synced) {
        plot->setAxisScale(QwtPlot::xBottom, synced->xMin, synced->xMax);
        plot->setAxisScale(QwtPlot::yLeft, synced->yMin, synced->yMax);
    } else {
        autoscale();
    }
}

void CombinePlotWindow::setSizedAxisTitle(QwtPlot* plot, int axis, const QString& text) const
{
    QwtText title(text);
    QFont font;
    font.setPointSize(10);
    title.setFont(font);
    plot->setAxisTitle(axis, title);
}

void CombinePlotWindow::drawDataset(QwtPlot* plot, const CombinePlotData& plotted, const CombineDatasetEntry& entry,
                                    std::pair<int, int> axisModes)
{
    if (plotted.size() == 0)
        return;
    if (contourCombo->currentIndex() != 2) {
        if (colorMode == CombineDatasetColor || colorMode == CombineUniformColor) {
            const QColor color = colorMode == CombineDatasetColor ? entry.color : exportSettings.uniformColor;
            QColor fill = color;
            fill.setAlpha(100);
            auto* curve = new PlainPointCurve;
            curve->setStyle(QwtPlotCurve::NoCurve);
            curve->setSymbol(new QwtSymbol(QwtSymbol::Ellipse, QBrush(fill), QPen(color, 1), QSize(6, 6)));
            curve->setData(new SharedPointSeries(plotted.x, plotted.y));
            curve->setAutoScaleBounds(pointBounds(plotted, axisModes));
            // Qwt 6.1 lists a symbol-only curve as a blank legend row.
            curve->setItemAttribute(QwtPlotItem::Legend, false);
            curve->attach(plot);
        } else if (plotted.density && !plotted.density->empty()) {
            auto* curve = new RoundSpectroCurve;
            curve->setPenWidth(6);
            curve->setSamples(new SharedPoint3DSeries(plotted.x, plotted.y, plotted.density));
            curve->setColorMap(createColorMap(host->colorMapIndex()));
            const auto [lo, hi] = std::minmax_element(plotted.density->begin(), plotted.density->end());
            curve->setColorRange(QwtInterval(*lo, *hi > *lo ? *hi : *lo + 1.0));
            curve->setAutoScaleBounds(pointBounds(plotted, axisModes));
            curve->setItemAttribute(QwtPlotItem::Legend, false);
            curve->attach(plot);
        }
    }
    if (plotted.size() >= 4) {
        if (const auto request = contourRequest(entry.scaleXMode, entry.scaleYMode))
            drawContourLines(plot, cache.contourLevels(entry.datasetId, heatmap(), *request), entry.color);
    }
    if (displayMode == CombineSamePlot) {
        plot->setAxisTitle(QwtPlot::xBottom, plotted.xLabel);
        plot->setAxisTitle(QwtPlot::yLeft, plotted.yLabel);
    } else {
        setSizedAxisTitle(plot, QwtPlot::xBottom, plotted.xLabel);
        setSizedAxisTitle(plot, QwtPlot::yLeft, plotted.yLabel);
    }
}

void CombinePlotWindow::drawContourLines(QwtPlot* plot, const std::vector<ContourLevel>& levels,
                                         const QColor& color) const
{
    for (size_t level = 0; level < levels.size(); ++level) {
        QPen pen(color, 2);
        pen.setStyle(level == 0 ? Qt::DashLine : Qt::SolidLine);
        for (const ContourPolyline& line : levels[level].lines) {
            if (line.size() < 2)
                continue;
            QVector<QPointF> points;
            points.reserve(static_cast<int>(line.size()));
            for (const auto& [x, y] : line)
                points.append(QPointF(x, y));
            auto* curve = new QwtPlotCurve;
            curve->setStyle(QwtPlotCurve::Lines);
            curve->setPen(pen);
            curve->setItemAttribute(QwtPlotItem::Legend, false);
            curve->setZ(40);
            curve->setSamples(points);
            curve->attach(plot);
        }
    }
}

void CombinePlotWindow::addLegend(QwtPlot* plot, const std::vector<std::pair<QString, QColor>>& items) const
{
    for (const auto& [name, color] : items) {
        QwtText title(name);
        title.setColor(color);
        auto* entry = new QwtPlotCurve(title);
        entry->setStyle(QwtPlotCurve::NoCurve);
        entry->setItemAttribute(QwtPlotItem::Legend, true);
        entry->setItemAttribute(QwtPlotItem::AutoScale, false);
        entry->attach(plot);
    }
    auto* legend = new QwtPlotLegendItem;
    legend->setAlignment(Qt::AlignTop | Qt::AlignRight);
    legend->setMaxColumns(1);
    legend->setBackgroundMode(QwtPlotLegendItem::LegendBackground);
    legend->setBackgroundBrush(QColor(255, 255, 255, 200));
    legend->setBorderPen(QPen(Qt::gray));
    legend->attach(plot);
}

void CombinePlotWindow::drawSamePlot(QwtPlot* plot, const std::vector<CombinePlotData>& rowData)
{
    const auto modes = scaleModesForPlot(0);
    std::vector<std::pair<QString, QColor>> legendItems;
    for (size_t i = 0; i < entries.size(); ++i) {
        const DatasetEntry* dataset = host->findDatasetById(entries[i].datasetId);
        if (!dataset || !dataset->featuresLoaded)
            continue;
        drawDataset(plot, rowData[i], entries[i], modes);
        legendItems.emplace_back(dataset->displayName,
                                 colorMode == CombineUniformColor ? exportSettings.uniformColor : entries[i].color);
    }
    if (showLegendCheck->isChecked() && !entries.empty())
        addLegend(plot, legendItems);
    const DatasetEntry* first = host->findDatasetById(entries.front().datasetId);
    if (first && first->featuresLoaded && first->reader) {
        plot->setAxisTitle(QwtPlot::xBottom, QString::fromStdString(first->reader->featureLabel(entries.front().xFeature)));
        plot->setAxisTitle(QwtPlot::yLeft, QString::fromStdString(first->reader->featureLabel(entries.front().yFeature)));
    }
}

void CombinePlotWindow::drawContourOverlay(QwtPlot* plot, const std::vector<CombinePlotData>& rowData)
{
    std::vector<std::pair<QString, QColor>> legendItems;
    for (size_t i = 0; i < entries.size(); ++i) {
        const CombineDatasetEntry& entry = entries[i];
        const DatasetEntry* dataset = host->findDatasetById(entry.datasetId);
        if (!dataset || !dataset->featuresLoaded)
            continue;
        legendItems.emplace_back(dataset->displayName, entry.color);
        if (rowData[i].size() < 4)
            continue;
        const CombineDatasetEntry& modes = syncAxesCheck->isChecked() ? entries.front() : entry;
        CombineContourRequest request;
        request.inner = std::min(innerSpin->value(), outerSpin->value()) / 100.0;
        request.outer = std::max(innerSpin->value(), outerSpin->value()) / 100.0;
        request.xMode = clampScaleMode(modes.scaleXMode);
        request.yMode = clampScaleMode(modes.scaleYMode);
        drawContourLines(plot, cache.contourLevels(entry.datasetId, heatmap(), request), entry.color);
    }
    if (showLegendCheck->isChecked())
        addLegend(plot, legendItems);
    const DatasetEntry* first = host->findDatasetById(entries.front().datasetId);
    if (first && first->featuresLoaded && first->reader) {
        setSizedAxisTitle(plot, QwtPlot::xBottom, QString::fromStdString(first->reader->featureLabel(entries.front().xFeature)));
        setSizedAxisTitle(plot, QwtPlot::yLeft, QString::fromStdString(first->reader->featureLabel(entries.front().yFeature)));
    }
    QwtText title(QStringLiteral("Contour Overlay"));
    QFont font = plot->font();
    font.setWeight(QFont::Normal);
    font.setPointSize(10);
    title.setFont(font);
    plot->setTitle(title);
    drawIsoelastics(plot, entries.front());
}

QString CombinePlotWindow::settingsKey(const std::optional<CombineAxisRange>& synced) const
{
    QString key = QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9")
                      .arg(displayMode)
                      .arg(colorMode)
                      .arg(exportSettings.uniformColor.rgba())
                      .arg(host->colorMapIndex())
                      .arg(contourCombo->currentIndex())
                      .arg(innerSpin->value())
                      .arg(outerSpin->value())
                      .arg(showLegendCheck->isChecked())
                      .arg(showCountCheck->isChecked());
    key += QStringLiteral("|%1|%2|%3|%4").arg(isoelasticsCheck->isChecked()).arg(isoLabelsCheck->isChecked())
               .arg(syncAxesCheck->isChecked()).arg(manualLimitsCheck->isChecked());
    if (syncAxesCheck->isChecked() && manualLimitsCheck->isChecked())
        key += QStringLiteral("|%1|%2|%3|%4").arg(xMinSpin->value(), 0, 'g', 17).arg(xMaxSpin->value(), 0, 'g', 17)
                   .arg(yMinSpin->value(), 0, 'g', 17).arg(yMaxSpin->value(), 0, 'g', 17);
    if (synced)
        key += QStringLiteral("|%1|%2|%3|%4").arg(synced->xMin, 0, 'g', 17).arg(synced->xMax, 0, 'g', 17)
                   .arg(synced->yMin, 0, 'g', 17).arg(synced->yMax, 0, 'g', 17);
    return key;
}

QString CombinePlotWindow::rowKey(size_t index, const CombinePlotData& plotted) const
{
    const CombineDatasetEntry& entry = entries[index];
    const DatasetEntry* dataset = host->findDatasetById(entry.datasetId);
    const auto modes = scaleModesForPlot(static_cast<int>(index));
    // The plotted vectors are shared with the cache and the drawn curves: while a plot holds
    // them no other vector can take their address.
    QString key = QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9")
                      .arg(entry.datasetId)
                      .arg(QString::fromStdString(entry.xFeature), QString::fromStdString(entry.yFeature))
                      .arg(entry.color.isValid() ? entry.color.rgba() : 0u)
                      .arg(entry.scaleXMode)
                      .arg(entry.scaleYMode)
                      .arg(modes.first)
                      .arg(modes.second)
                      .arg(plotted.size());
    key += QStringLiteral("|%1|%2|%3|%4|%5")
               .arg(reinterpret_cast<quintptr>(plotted.x.get()))
               .arg(reinterpret_cast<quintptr>(plotted.y.get()))
               .arg(reinterpret_cast<quintptr>(plotted.density.get()))
               .arg(plotted.xLabel, plotted.yLabel);
    if (dataset) {
        key += QStringLiteral("|%1|%2").arg(dataset->featuresLoaded).arg(dataset->displayName);
        if (isoelasticsCheck->isChecked()) {
            const EModulusParams p = host->isoelasticParams(*dataset);
            key += QStringLiteral("|%1|%2|%3|%4|%5|%6|%7")
                       .arg(p.channelWidth, 0, 'g', 17)
                       .arg(p.flowRate, 0, 'g', 17)
                       .arg(p.temperature, 0, 'g', 17)
                       .arg(p.viscosityModel)
                       .arg(p.medium)
                       .arg(p.manualViscosity, 0, 'g', 17)
                       .arg(p.pixelSize, 0, 'g', 17);
        }
    }
    return key;
}

void CombinePlotWindow::rebuildPlots()
{
    rebuildTimer->stop();
    ++rebuilds;
    plotsDrawn = 0;
    readEntriesFromRows();
    std::set<int> ids;
    for (const CombineDatasetEntry& entry : entries)
        ids.insert(entry.datasetId);
    cache.retain(ids);
    if (entries.empty()) {
        clearPlots();
        plotKeys.clear();
        // Nothing left to show: no preview images or statistics of the previous state.
        clearExportPreview();
        updateStatisticsTable();
        return;
    }

    // Every dataset's plotted values once; the plots, the synced range, the warnings and the
    // statistics share them.
    std::vector<CombinePlotData> rowData;
    rowData.reserve(entries.size());
    for (const CombineDatasetEntry& entry : entries) {
        rowData.push_back(collectPlotData(host->findDatasetById(entry.datasetId), entry,
                                          contourRequest(entry.scaleXMode, entry.scaleYMode)));
    }
    std::optional<CombineAxisRange> synced;
    if (syncAxesCheck->isChecked() && !manualLimitsCheck->isChecked()) {
        const auto modes = scaleModesForPlot(0);
        synced = combineSyncedRange(rowData, modes.first, modes.second);
    }

    // One key per plot to be shown; a plot of the last rebuild with the same key in the same
    // place is kept (the preview and the export change plots, so they are always redrawn).
    const QString settings = settingsKey(synced);
    std::vector<QString> rowKeys;
    for (size_t i = 0; i < entries.size(); ++i)
        rowKeys.push_back(rowKey(i, rowData[i]));
    QString allRows;
    for (const QString& k : rowKeys)
        allRows += k + QLatin1Char(';');
    std::vector<QString> newKeys;
    int cols = 1;
    int gridRows = 1;
    if (displayMode == CombineSamePlot) {
        newKeys.push_back(settings + QStringLiteral("#same#") + allRows);
    } else {
        const int count = static_cast<int>(entries.size()) + (displayMode == CombineArrayContour ? 1 : 0);
        std::tie(cols, gridRows) = gridDimensions(count);
        for (size_t i = 0; i < entries.size(); ++i)
            newKeys.push_back(settings + QStringLiteral("#cell %1 %2#").arg(static_cast<int>(i) / cols)
                                             .arg(static_cast<int>(i) % cols) + rowKeys[i]);
        if (displayMode == CombineArrayContour)
            newKeys.push_back(settings + QStringLiteral("#overlay %1 %2#").arg(count - 1).arg(cols) + allRows);
    }
    std::vector<QwtPlot*> oldPlots = std::move(plots);
    std::vector<QString> oldKeys = std::move(plotKeys);
    plots.clear();
    plotKeys.clear();
    const bool reuse = !previewEnabled && oldKeys.size() == oldPlots.size();
    const auto kept = [&](size_t k) -> QwtPlot* {
        if (!reuse || k >= oldPlots.size() || oldKeys[k] != newKeys[k] || !oldPlots[k])
            return nullptr;
        QwtPlot* plot = oldPlots[k];
        oldPlots[k] = nullptr;
        return plot;
    };
    // Plots of the last rebuild that are not kept go first, so the grid holds one widget per cell.
    std::vector<QwtPlot*> reused(newKeys.size(), nullptr);
    for (size_t k = 0; k < newKeys.size(); ++k)
        reused[k] = kept(k);
    for (QwtPlot* plot : oldPlots) {
        if (!plot)
            continue;
        plotGrid->removeWidget(plot);
        delete plot;
    }
    for (int r = 0; r < plotGrid->rowCount(); ++r)
        plotGrid->setRowStretch(r, 0);
    for (int c = 0; c < plotGrid->columnCount(); ++c)
        plotGrid->setColumnStretch(c, 0);

    if (displayMode == CombineSamePlot) {
        plotGrid->setRowStretch(0, 1);
        plotGrid->setColumnStretch(0, 1);
        QwtPlot* plot = reused[0];
        if (!plot) {
            ++plotsDrawn;
            plot = createCombinePlot(plotContainer);
            plot->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
            const auto modes = scaleModesForPlot(0);
            applyScaleEngines(plot, modes.first, modes.second);
            plotGrid->addWidget(plot, 0, 0);
            drawSamePlot(plot, rowData);
            drawIsoelastics(plot, entries.front());
            applyAxisLimits(plot, synced);
            plot->replot();
        }
        plots.push_back(plot);
    } else {
        for (int c = 0; c < cols; ++c)
            plotGrid->setColumnStretch(c, 1);
        for (int r = 0; r < gridRows; ++r)
            plotGrid->setRowStretch(r, 1);
        const auto makeArrayPlot = [this](std::pair<int, int> modes) {
            QwtPlot* plot = createCombinePlot(plotContainer);
            for (int axis : {int(QwtPlot::xBottom), int(QwtPlot::yLeft)}) {
                QFont font = plot->axisFont(axis);
                font.setPointSize(8);
                plot->setAxisFont(axis, font);
            }
            plot->setMinimumSize(300, 250);
            plot->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
            applyScaleEngines(plot, modes.first, modes.second);
            return plot;
        };
        for (size_t i = 0; i < entries.size(); ++i) {
            if (QwtPlot* plot = reused[i]) {
                plots.push_back(plot);
                continue;
            }
            ++plotsDrawn;
            const CombineDatasetEntry& entry = entries[i];
            const auto modes = scaleModesForPlot(static_cast<int>(i));
            QwtPlot* plot = makeArrayPlot(modes);
            const DatasetEntry* dataset = host->findDatasetById(entry.datasetId);
            if (dataset) {
                QwtText title(dataset->displayName);
                QFont font = plot->font();
                font.setWeight(QFont::Normal);
                font.setPointSize(10);
                title.setFont(font);
                if (entry.color.isValid())
                    title.setColor(entry.color);
                plot->setTitle(title);
            }
            const int index = static_cast<int>(i);
            plotGrid->addWidget(plot, index / cols, index % cols);
            plots.push_back(plot);
            size_t plotted = 0;
            if (dataset && dataset->featuresLoaded) {
                drawDataset(plot, rowData[i], entry, modes);
                drawIsoelastics(plot, entry);
                plotted = rowData[i].drawnCount(modes.first, modes.second);
            }
            if (showCountCheck->isChecked()) {
                QwtText text(QStringLiteral("N = %1").arg(plotted));
                text.setRenderFlags(Qt::AlignTop | Qt::AlignRight);
                QFont font;
                font.setPointSize(8);
                text.setFont(font);
                auto* label = new QwtPlotTextLabel;
                label->setText(text);
                label->setMargin(4);
                label->attach(plot);
            }
            applyAxisLimits(plot, synced);
            plot->replot();
        }
        if (displayMode == CombineArrayContour) {
            QwtPlot* plot = reused.back();
            if (!plot) {
                ++plotsDrawn;
                const int index = static_cast<int>(entries.size());
                plot = makeArrayPlot(scaleModesForPlot(0));
                plot->setCanvasBackground(QBrush(QColor(245, 245, 255)));
                plotGrid->addWidget(plot, index / cols, index % cols);
                drawContourOverlay(plot, rowData);
                applyAxisLimits(plot, synced);
                plot->replot();
            }
            plots.push_back(plot);
        }
    }
    plotKeys = std::move(newKeys);

    if (previewEnabled)
        renderExportPreview();
    updateLogScaleWarnings(rowData);
    updateStatisticsTable();
}

void CombinePlotWindow::updateLogScaleWarnings(const std::vector<CombinePlotData>& rowData)
{
    std::map<int, const CombinePlotData*> byId;
    for (size_t i = 0; i < entries.size() && i < rowData.size(); ++i)
        byId[entries[i].datasetId] = &rowData[i];
    for (size_t i = 0; i < rows.size(); ++i) {
        CombineDatasetWidget* row = rows[i];
        const CombineDatasetEntry own = row->settings();
        const CombineDatasetEntry modes = syncAxesCheck->isChecked() ? rows.front()->settings() : own;
        std::int64_t xCount = 0;
        std::int64_t yCount = 0;
        const auto found = byId.find(own.datasetId);
        if (found != byId.end()) {
            if (modes.scaleXMode == ScaleLog)
                xCount = found->second->nonPositiveX;
            if (modes.scaleYMode == ScaleLog)
                yCount = found->second->nonPositiveY;
        }
        setLogScaleWarning(row->xScaleCombo(), xCount);
        setLogScaleWarning(row->yScaleCombo(), yCount);
    }
}

void CombinePlotWindow::onDisplayModeChanged(int mode)
{
    if ((mode == CombineArrayContour || mode == CombineSamePlot) && !syncFeaturesCheck->isChecked()) {
        if (entries.size() > 1) {
            const QString text = QStringLiteral("\"%1\" requires all datasets to use the same features.\n"
                                                "Feature syncing will be enabled and all datasets will use\n"
                                                "the features of the first dataset.")
                                     .arg(displayCombo->itemText(mode));
            const int answer = prompts().message(this, Prompts::Icon::Question, QStringLiteral("Sync Features Required"),
                                                 text,
                                                 {{QStringLiteral("OK"), QMessageBox::AcceptRole},
                                                  {QStringLiteral("Cancel"), QMessageBox::RejectRole}});
            if (answer != 0) {
                const QSignalBlocker blocker(displayCombo);
                displayCombo->setCurrentIndex(displayMode);
                return;
            }
        }
        // With 0 or 1 datasets the overlay modes still keep features synced, without asking.
        syncFeaturesCheck->setChecked(true);
    }
    displayMode = mode;
    scheduleRebuild();
}

void CombinePlotWindow::onColorModeChanged(int mode)
{
    colorMode = mode;
    uniformColorLabel->setVisible(mode == CombineUniformColor);
    uniformColorCombo->setVisible(mode == CombineUniformColor);
    scheduleRebuild();
}

void CombinePlotWindow::onAxisLimitsChanged()
{
    if (syncAxesCheck->isChecked() && manualLimitsCheck->isChecked())
        scheduleRebuild();
}

const std::vector<IsoelasticLine>& CombinePlotWindow::isoelasticLinesFor(const DatasetEntry& dataset)
{
    const EModulusParams params = host->isoelasticParams(dataset);
    for (const auto& [inputs, lines] : isoCache)
        if (sameIsoelasticInputs(inputs, params))
            return lines;
    if (isoCache.size() >= kIsoelasticInputSets)
        isoCache.erase(isoCache.begin());
    ++isoComputations;
    isoCache.emplace_back(params, host->isoelasticLines(params));
    return isoCache.back().second;
}

void CombinePlotWindow::drawIsoelastics(QwtPlot* plot, const CombineDatasetEntry& entry)
{
    if (!isoelasticsCheck->isChecked())
        return;
    bool swap = false;
    if (entry.xFeature == "area_um" && entry.yFeature == "deform")
        swap = false;
    else if (entry.xFeature == "deform" && entry.yFeature == "area_um")
        swap = true;
    else
        return;
    const DatasetEntry* dataset = host->findDatasetById(entry.datasetId);
    if (!dataset || !dataset->featuresLoaded)
        return;
    drawIsoelasticLines(plot, isoelasticLinesFor(*dataset), swap, isoLabelsCheck->isChecked());
}

void CombinePlotWindow::drawIsoelasticLines(QwtPlot* plot, const std::vector<IsoelasticLine>& lines, bool swapAxes,
                                            bool showLabels) const
{
    attachIsoelasticLines(plot, lines, swapAxes, showLabels);
}

} // namespace Tervane3
