// The combine plot window's export: the "Export Settings" dock, the export look applied to
// each plot, the preview (each plot replaced by an image of its export rendering) and the
// export of the plots as one grid image or one file per plot, in PNG, SVG or PDF at the
// chosen physical size.
//
// Files are written through QSaveFile: a failed export leaves an older file of the same
// name untouched and shows "Export Error" with the path.
#include "windows/CombinePlotWindow.h"

#include "app/Prompts.h"
#include "app/WindowHelpers.h"
#include "plots/PlainPointCurve.h"
#include "plots/PlotExportStyle.h"
#include "plots/RoundSpectroCurve.h"
#include "windows/AspectRatioLabel.h"
#include "windows/FractionalPenScaleDraw.h"

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_renderer.h>
#include <qwt_plot_spectrocurve.h>
#include <qwt_plot_textlabel.h>
#include <qwt_symbol.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QPixmap>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSvgGenerator>
#include <QTimer>

#include <cmath>

namespace Tervane3 {

namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kPngDpi = 150.0;
constexpr int kPngDotsPerMeter = 5906; // 150 dpi
// The resolution QwtPlotRenderer assumes for vector output: fonts and sizes come out true.
constexpr double kSvgDpi = 90.0;
constexpr double kPdfDpi = 1200.0;
constexpr double kGapMm = 10.0;

QSpinBox* makeSizeSpin(QWidget* parent, int lo, int hi, int value, const QString& suffix, const char* name)
{
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(lo, hi);
    spin->setValue(value);
    spin->setSuffix(suffix);
    return spin;
}

QCheckBox* makeExportCheck(QWidget* parent, const QString& text, bool on, const char* name)
{
    auto* check = new QCheckBox(text, parent);
    check->setObjectName(QString::fromLatin1(name));
    check->setChecked(on);
    return check;
}

} // namespace

void CombinePlotWindow::setupExportDock()
{
    exportDock = new QDockWidget(QStringLiteral("Export Settings"), this);
    exportDock->setObjectName(QStringLiteral("exportDock"));
    exportDock->setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
    exportDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    auto* content = new QWidget(exportDock);
    auto* grid = new QGridLayout(content);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);

    const CombineExportSettings& s = exportSettings;
    tickLabelSpin = makeSizeSpin(content, 4, 24, s.tickLabelSize, QStringLiteral(" pt"), "tickLabelSpin");
    axisLabelSpin = makeSizeSpin(content, 4, 24, s.axisLabelSize, QStringLiteral(" pt"), "axisLabelSpin");
    showTitleCheck = makeExportCheck(content, QStringLiteral("Show titles"), s.showTitle, "showTitleCheck");
    titleSizeSpin = makeSizeSpin(content, 4, 24, s.titleSize, QStringLiteral(" pt"), "titleSizeSpin");
    titleBoldCheck = makeExportCheck(content, QStringLiteral("Bold titles"), s.titleBold, "titleBoldCheck");
    titleColorCheck = makeExportCheck(content, QStringLiteral("Color titles"), s.titleUseColor, "titleColorCheck");
    widthSpin = makeSizeSpin(content, 50, 600, static_cast<int>(s.plotWidthMm), QStringLiteral(" mm"), "widthSpin");
    heightSpin = makeSizeSpin(content, 50, 600, static_cast<int>(s.plotHeightMm), QStringLiteral(" mm"), "heightSpin");
    pointSizeSpin = makeSizeSpin(content, 1, 20, s.pointSize, QStringLiteral(" px"), "pointSizeSpin");
    axisWidthSpin = new QDoubleSpinBox(content);
    axisWidthSpin->setObjectName(QStringLiteral("axisWidthSpin"));
    axisWidthSpin->setRange(0.5, 5.0);
    axisWidthSpin->setSingleStep(0.5);
    axisWidthSpin->setDecimals(1);
    axisWidthSpin->setSuffix(QStringLiteral(" px"));
    axisWidthSpin->setValue(s.axisLineWidth);
    gridCheck = makeExportCheck(content, QStringLiteral("Grid"), s.showGrid, "gridCheck");
    rightTopCheck = makeExportCheck(content, QStringLiteral("Right/Top axes"), s.showRightTopAxes, "rightTopCheck");
    uniformColorLabel = new QLabel(QStringLiteral("Uniform color"), content);
    uniformColorCombo = new QComboBox(content);
    uniformColorCombo->setObjectName(QStringLiteral("uniformColorCombo"));
    for (const UniformColorChoice& choice : uniformColorChoices())
        uniformColorCombo->addItem(choice.text, choice.color);

    const auto label = [content](const char* text) { return new QLabel(QString::fromUtf8(text), content); };
    grid->addWidget(label("Tick labels"), 0, 0);
    grid->addWidget(tickLabelSpin, 1, 0);
    grid->addWidget(label("Axis labels"), 0, 1);
    grid->addWidget(axisLabelSpin, 1, 1);
    grid->addWidget(showTitleCheck, 0, 2);
    grid->addWidget(titleSizeSpin, 1, 2);
    grid->addWidget(titleBoldCheck, 0, 3);
    grid->addWidget(titleColorCheck, 1, 3);
    grid->addWidget(label("Width"), 0, 4);
    grid->addWidget(widthSpin, 1, 4);
    grid->addWidget(label("Height"), 0, 5);
    grid->addWidget(heightSpin, 1, 5);
    grid->addWidget(label("Point size"), 0, 6);
    grid->addWidget(pointSizeSpin, 1, 6);
    grid->addWidget(label("Axis width"), 0, 7);
    grid->addWidget(axisWidthSpin, 1, 7);
    grid->addWidget(gridCheck, 0, 8);
    grid->addWidget(rightTopCheck, 1, 8);
    grid->addWidget(uniformColorLabel, 0, 9);
    grid->addWidget(uniformColorCombo, 1, 9);
    uniformColorLabel->setVisible(colorMode == CombineUniformColor);
    uniformColorCombo->setVisible(colorMode == CombineUniformColor);

    exportDock->setWidget(content);
    addDockWidget(Qt::BottomDockWidgetArea, exportDock);
    exportDock->hide();

    for (QSpinBox* spin : {tickLabelSpin, axisLabelSpin, titleSizeSpin, widthSpin, heightSpin, pointSizeSpin})
        connect(spin, QOverload<int>::of(&QSpinBox::valueChanged), this, &CombinePlotWindow::onExportSettingsChanged);
    connect(axisWidthSpin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &CombinePlotWindow::onExportSettingsChanged);
    for (QCheckBox* check : {showTitleCheck, titleBoldCheck, titleColorCheck, gridCheck, rightTopCheck})
        connect(check, &QCheckBox::toggled, this, &CombinePlotWindow::onExportSettingsChanged);
    connect(uniformColorCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CombinePlotWindow::onExportSettingsChanged);
}

void CombinePlotWindow::onExportSettingsChanged()
{
    // Filling the controls from a restored session must not copy half-updated controls back.
    if (showingExportSettings)
        return;
    CombineExportSettings& s = exportSettings;
    s.tickLabelSize = tickLabelSpin->value();
    s.axisLabelSize = axisLabelSpin->value();
    s.showTitle = showTitleCheck->isChecked();
    s.titleSize = titleSizeSpin->value();
    s.titleBold = titleBoldCheck->isChecked();
    s.titleUseColor = titleColorCheck->isChecked();
    s.plotWidthMm = widthSpin->value();
    s.plotHeightMm = heightSpin->value();
    s.pointSize = pointSizeSpin->value();
    s.axisLineWidth = axisWidthSpin->value();
    s.showGrid = gridCheck->isChecked();
    s.showRightTopAxes = rightTopCheck->isChecked();
    s.uniformColor = uniformColorCombo->currentData().value<QColor>();
    if (previewEnabled)
        scheduleRebuild();
}

void CombinePlotWindow::showExportSettings()
{
    showingExportSettings = true;
    const CombineExportSettings& s = exportSettings;
    tickLabelSpin->setValue(s.tickLabelSize);
    axisLabelSpin->setValue(s.axisLabelSize);
    showTitleCheck->setChecked(s.showTitle);
    titleSizeSpin->setValue(s.titleSize);
    titleBoldCheck->setChecked(s.titleBold);
    titleColorCheck->setChecked(s.titleUseColor);
    widthSpin->setValue(static_cast<int>(s.plotWidthMm));
    heightSpin->setValue(static_cast<int>(s.plotHeightMm));
    pointSizeSpin->setValue(s.pointSize);
    axisWidthSpin->setValue(s.axisLineWidth);
    gridCheck->setChecked(s.showGrid);
    rightTopCheck->setChecked(s.showRightTopAxes);
    for (int i = 0; i < uniformColorCombo->count(); ++i) {
        if (uniformColorCombo->itemData(i).value<QColor>() == s.uniformColor) {
            uniformColorCombo->setCurrentIndex(i);
            break;
        }
    }
    showingExportSettings = false;
}

void CombinePlotWindow::applyExportSettings(QwtPlot* plot) const
{
    const CombineExportSettings& s = exportSettings;
    QFont tickFont;
    tickFont.setPointSize(s.tickLabelSize);
    for (int axis = 0; axis < QwtPlot::axisCnt; ++axis)
        plot->setAxisFont(axis, tickFont);
    for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotTextLabel)) {
        auto* label = static_cast<QwtPlotTextLabel*>(item);
        QwtText text = label->text();
        QFont font = text.font();
        font.setPointSize(s.tickLabelSize);
        text.setFont(font);
        label->setText(text);
    }
    for (int axis : {int(QwtPlot::yLeft), int(QwtPlot::xBottom)}) {
        QwtText title = plot->axisTitle(axis);
        QFont font = title.font();
        font.setPointSize(s.axisLabelSize);
        font.setWeight(QFont::Normal);
        title.setFont(font);
        plot->setAxisTitle(axis, title);
    }
    QwtText title = plot->title();
    if (s.showTitle && !title.text().isEmpty()) {
        QFont font = title.font();
        font.setPointSize(s.titleSize);
        font.setWeight(s.titleBold ? QFont::Bold : QFont::Normal);
        title.setFont(font);
        if (!s.titleUseColor)
            title.setColor(Qt::black);
        plot->setTitle(title);
    } else if (!s.showTitle) {
        plot->setTitle(QwtText());
    }
    for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotCurve)) {
        auto* curve = static_cast<QwtPlotCurve*>(item);
        const QwtSymbol* old = curve->symbol();
        if (!old)
            continue;
        curve->setSymbol(new QwtSymbol(QwtSymbol::Ellipse, old->brush(), old->pen(), QSize(s.pointSize, s.pointSize)));
        if (auto* plain = dynamic_cast<PlainPointCurve*>(curve))
            plain->invalidateCache();
    }
    for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotSpectroCurve)) {
        auto* curve = static_cast<QwtPlotSpectroCurve*>(item);
        curve->setPenWidth(s.pointSize);
        if (auto* round = dynamic_cast<RoundSpectroCurve*>(curve))
            round->invalidateCache();
    }
    for (int axis = 0; axis < QwtPlot::axisCnt; ++axis) {
        if (!plot->axisEnabled(axis))
            continue;
        if (auto* draw = dynamic_cast<FractionalPenScaleDraw*>(plot->axisScaleDraw(axis)))
            draw->setPenWidthF(s.axisLineWidth);
    }
    for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotGrid))
        item->setVisible(s.showGrid);
    if (!s.showRightTopAxes) {
        plot->enableAxis(QwtPlot::yRight, false);
        plot->enableAxis(QwtPlot::xTop, false);
    }
    plot->replot();
}

void CombinePlotWindow::prepareRenderer(QwtPlotRenderer& renderer) const
{
    configurePlotRenderer(&renderer);
    if (!exportSettings.showRightTopAxes) {
        renderer.setLayoutFlag(QwtPlotRenderer::FrameWithScales, false);
        renderer.setDiscardFlag(QwtPlotRenderer::DiscardCanvasFrame, true);
    }
}

void CombinePlotWindow::renderExportPreview()
{
    clearExportPreview();
    if (plots.empty())
        return;
    // The export look stays on the plots: the next rebuild draws them anew.
    plotKeys.clear();
    QwtPlotRenderer renderer;
    prepareRenderer(renderer);
    const int w = static_cast<int>(exportSettings.plotWidthMm / kMmPerInch * kPngDpi);
    const int h = static_cast<int>(exportSettings.plotHeightMm / kMmPerInch * kPngDpi);
    for (QwtPlot* plot : plots) {
        const PlotStyleSnapshot snapshot = applyExportStyle(plot);
        applyExportSettings(plot);
        QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(kPngDotsPerMeter);
        image.setDotsPerMeterY(kPngDotsPerMeter);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            renderer.render(plot, &painter, QRectF(0, 0, w, h));
        }
        restorePlotStyle(plot, snapshot);

        const double ratio = static_cast<double>(w) / h;
        auto* label = new AspectRatioLabel(ratio, plotContainer);
        label->setScaledContents(true);
        label->setMinimumSize(300, static_cast<int>(300 / ratio));
        QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        policy.setHeightForWidth(true);
        label->setSizePolicy(policy);
        label->setPixmap(QPixmap::fromImage(image));
        int row = 0, column = 0, rowSpan = 1, columnSpan = 1;
        const int index = plotGrid->indexOf(plot);
        if (index >= 0)
            plotGrid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        plotGrid->addWidget(label, row, column, rowSpan, columnSpan);
        previewLabels.push_back(label);
        plot->hide();
    }
}

void CombinePlotWindow::clearExportPreview()
{
    for (AspectRatioLabel* label : previewLabels) {
        plotGrid->removeWidget(label);
        delete label;
    }
    previewLabels.clear();
    for (QwtPlot* plot : plots) {
        plot->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        plot->show();
    }
    plotGrid->invalidate();
    plotContainer->updateGeometry();
}

void CombinePlotWindow::setExportPreview(bool on)
{
    previewEnabled = on;
    if (previewAction && previewAction->isChecked() != on) {
        const QSignalBlocker blocker(previewAction);
        previewAction->setChecked(on);
    }
    if (on) {
        exportDock->show();
        if (rebuildPending())
            rebuildPlots();
        else
            renderExportPreview();
    } else {
        exportDock->hide();
        clearExportPreview();
        scheduleRebuild();
    }
}

bool CombinePlotWindow::writePlotsFile(const QString& path, const QString& format,
                                       const std::vector<QwtPlot*>& cellPlots, int cols, int cellRows,
                                       const QwtPlotRenderer& renderer)
{
    const double w = exportSettings.plotWidthMm;
    const double h = exportSettings.plotHeightMm;
    const double totalW = cols * w + (cols - 1) * kGapMm;
    const double totalH = cellRows * h + (cellRows - 1) * kGapMm;
    const auto fail = [this, &path]() {
        prompts().warning(this, QStringLiteral("Export Error"),
                          QStringLiteral("Could not write the file:\n%1").arg(QDir::toNativeSeparators(path)));
        return false;
    };
    const auto renderCells = [&](QPainter* painter, double unitsPerMm) {
        for (size_t i = 0; i < cellPlots.size(); ++i) {
            const int column = static_cast<int>(i) % cols;
            const int row = static_cast<int>(i) / cols;
            const QRectF rect((w + kGapMm) * column * unitsPerMm, (h + kGapMm) * row * unitsPerMm, w * unitsPerMm,
                              h * unitsPerMm);
            renderer.render(cellPlots[i], painter, rect);
        }
    };

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    if (format == QLatin1String("png")) {
        const int pw = static_cast<int>(totalW / kMmPerInch * kPngDpi);
        const int ph = static_cast<int>(totalH / kMmPerInch * kPngDpi);
        QImage image(pw, ph, QImage::Format_ARGB32_Premultiplied);
        if (image.isNull())
            return fail();
        image.setDotsPerMeterX(kPngDotsPerMeter);
        image.setDotsPerMeterY(kPngDotsPerMeter);
        image.fill(Qt::white);
        QPainter painter;
        if (!painter.begin(&image))
            return fail();
        renderCells(&painter, kPngDpi / kMmPerInch);
        painter.end();
        if (!image.save(&file, "PNG"))
            return fail();
    } else if (format == QLatin1String("svg")) {
        const double scale = kSvgDpi / kMmPerInch;
        QSvgGenerator generator;
        generator.setOutputDevice(&file);
        generator.setResolution(static_cast<int>(kSvgDpi));
        generator.setSize(QSize(static_cast<int>(totalW * scale), static_cast<int>(totalH * scale)));
        generator.setViewBox(QRectF(0, 0, totalW * scale, totalH * scale));
        generator.setTitle(QStringLiteral("Combine Plot Export"));
        QPainter painter;
        if (!painter.begin(&generator))
            return fail();
        renderCells(&painter, scale);
        painter.end();
    } else if (format == QLatin1String("pdf")) {
        QPdfWriter writer(&file);
        writer.setResolution(static_cast<int>(kPdfDpi));
        writer.setPageSize(QPageSize(QSizeF(totalW, totalH), QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        QPainter painter;
        if (!painter.begin(&writer))
            return fail();
        renderCells(&painter, writer.resolution() / kMmPerInch);
        painter.end();
    } else {
        file.cancelWriting();
        return fail();
    }
    if (!file.commit())
        return fail();
    return true;
}

void CombinePlotWindow::exportPlots()
{
    // The plots on screen may wait for a scheduled rebuild.
    if (rebuildPending())
        rebuildPlots();
    if (plots.empty())
        return;
    const QString offered = QStringLiteral("PNG Image (*.png);;SVG Vector (*.svg);;PDF Document (*.pdf)");
    QString selectedFilter;
    QString path = prompts().getSaveFileName(this, QStringLiteral("Export Plots"), QString(), offered, &selectedFilter);
    if (path.isEmpty())
        return;
    // A typed ".pdf" is a PDF, whatever the type box says.
    path = ensureOfferedExtension(path, selectedFilter, offered);
    // The suffix in lower case decides the format: "FIG.PNG" is a PNG.
    const QString format = QFileInfo(path).suffix().toLower();

    std::vector<PlotStyleSnapshot> snapshots;
    plotKeys.clear();
    for (QwtPlot* plot : plots) {
        snapshots.push_back(applyExportStyle(plot));
        applyExportSettings(plot);
    }
    QwtPlotRenderer renderer;
    prepareRenderer(renderer);

    if (plots.size() == 1) {
        writePlotsFile(path, format, plots, 1, 1, renderer);
    } else {
        const int choice = prompts().message(this, Prompts::Icon::Question, QStringLiteral("Export Mode"),
                                             QStringLiteral("How would you like to export?"),
                                             {{QStringLiteral("Single Grid Image"), QMessageBox::AcceptRole},
                                              {QStringLiteral("Individual Plots"), QMessageBox::AcceptRole},
                                              {QStringLiteral("Cancel"), QMessageBox::RejectRole}});
        if (choice == 0) {
            const auto [cols, gridRows] = gridDimensions(static_cast<int>(plots.size()));
            writePlotsFile(path, format, plots, cols, gridRows, renderer);
        } else if (choice == 1) {
            const QFileInfo info(path);
            const QString base = info.completeBaseName();
            const QString folder = info.absolutePath();
            for (size_t i = 0; i < plots.size(); ++i) {
                const QString single = QStringLiteral("%1/%2_%3.%4").arg(folder, base).arg(i + 1).arg(info.suffix());
                if (!writePlotsFile(single, format, {plots[i]}, 1, 1, renderer))
                    break;
            }
        }
    }
    for (size_t i = 0; i < plots.size(); ++i)
        restorePlotStyle(plots[i], snapshots[i]);
    // The export look changed fonts, symbols and axes of the plots on screen.
    rebuildPlots();
}

} // namespace Tervane3
