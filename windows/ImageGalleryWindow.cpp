// The image gallery window: controls, event list, cutout size and the two background tasks
// (page render, automatic contrast). GUI thread only; the tasks get copies of what they
// need and a shared reader, never the window.
#include "windows/ImageGalleryWindow.h"

#include "app/DatasetEntry.h"
#include "app/DatasetHost.h"
#include "app/Prompts.h"
#include "app/WindowHelpers.h"
#include "core/PoolRun.h"
#include "core/RTDCReader.h"
#include "windows/GalleryGridWidget.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace Tervane3 {

ImageGalleryWindow::ImageGalleryWindow(DatasetHost* datasetHost, int id, QWidget* parent)
    : QMainWindow(parent)
    , host(datasetHost)
    , datasetId(id)
    , renderFunction(&renderGalleryPage)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(QStringLiteral("Image Gallery"));
    resize(1100, 800);

    renderWatcher = new PoolWatcher(this);
    connect(renderWatcher, &PoolWatcher::finished, this, &ImageGalleryWindow::onPageRenderFinished);
    autoContrastWatcher = new PoolWatcher(this);
    connect(autoContrastWatcher, &PoolWatcher::finished, this, &ImageGalleryWindow::onAutoContrastFinished);

    setupUi();
    addKeepOnTopAction(this);
    setDataset(id);
}

ImageGalleryWindow::~ImageGalleryWindow()
{
    stopTasks->store(true);
    renderWatcher->wait();
    autoContrastWatcher->wait();
}

void ImageGalleryWindow::setupUi()
{
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* controls = new QWidget(central);
    auto* controlColumn = new QVBoxLayout(controls);
    controlColumn->setContentsMargins(6, 4, 6, 4);
    controlColumn->setSpacing(2);

    auto* row1 = new QHBoxLayout;
    row1->setSpacing(8);
    nameLabel = new QLabel(QStringLiteral("(no dataset)"), controls);
    nameLabel->setObjectName(QStringLiteral("galleryNameLabel"));
    nameLabel->setStyleSheet(QStringLiteral("QLabel { font-weight: bold; }"));
    // A long sample name must not widen the window: elided by the layout, full in the tooltip.
    nameLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    nameLabel->setMinimumWidth(120);
    row1->addWidget(nameLabel, 1);
    row1->addSpacing(20);
    prevButton = new QPushButton(QStringLiteral("\u25C0 Page"), controls);
    prevButton->setObjectName(QStringLiteral("galleryPrevButton"));
    row1->addWidget(prevButton);
    pageLabel = new QLabel(QStringLiteral("0 / 0"), controls);
    pageLabel->setObjectName(QStringLiteral("galleryPageLabel"));
    pageLabel->setMinimumWidth(80);
    pageLabel->setAlignment(Qt::AlignCenter);
    row1->addWidget(pageLabel);
    nextButton = new QPushButton(QStringLiteral("Page \u25B6"), controls);
    nextButton->setObjectName(QStringLiteral("galleryNextButton"));
    row1->addWidget(nextButton);
    row1->addSpacing(20);
    row1->addWidget(new QLabel(QStringLiteral("Page size:"), controls));
    pageSizeCombo = new QComboBox(controls);
    pageSizeCombo->setObjectName(QStringLiteral("galleryPageSizeCombo"));
    pageSizeCombo->addItem(QStringLiteral("5 \u00D7 5 (25)"), 25);
    pageSizeCombo->addItem(QStringLiteral("10 \u00D7 10 (100)"), 100);
    pageSizeCombo->addItem(QStringLiteral("20 \u00D7 20 (400)"), 400);
    pageSizeCombo->setCurrentIndex(1);
    row1->addWidget(pageSizeCombo);
    row1->addStretch();
    showIdsCheck = new QCheckBox(QStringLiteral("Show event IDs"), controls);
    showIdsCheck->setObjectName(QStringLiteral("galleryShowIdsCheck"));
    showIdsCheck->setChecked(true);
    row1->addWidget(showIdsCheck);
    followActiveCheck = new QCheckBox(QStringLiteral("Follow active dataset"), controls);
    followActiveCheck->setObjectName(QStringLiteral("galleryFollowActiveCheck"));
    row1->addWidget(followActiveCheck);
    controlColumn->addLayout(row1);

    auto* row2 = new QHBoxLayout;
    row2->setSpacing(8);
    autoCutoutCheck = new QCheckBox(QStringLiteral("Auto cutout (99th percentile)"), controls);
    autoCutoutCheck->setObjectName(QStringLiteral("galleryAutoCutoutCheck"));
    autoCutoutCheck->setChecked(true);
    row2->addWidget(autoCutoutCheck);
    const auto pixelSpin = [controls](const char* name) {
        auto* spin = new QSpinBox(controls);
        spin->setObjectName(QLatin1String(name));
        spin->setRange(8, 1024);
        spin->setSingleStep(2);
        spin->setSuffix(QStringLiteral(" px"));
        spin->setEnabled(false);
        return spin;
    };
    row2->addWidget(new QLabel(QStringLiteral("W:"), controls));
    widthSpin = pixelSpin("galleryWidthSpin");
    row2->addWidget(widthSpin);
    row2->addWidget(new QLabel(QStringLiteral("H:"), controls));
    heightSpin = pixelSpin("galleryHeightSpin");
    row2->addWidget(heightSpin);
    row2->addWidget(new QLabel(QStringLiteral("Margin:"), controls));
    marginSpin = new QSpinBox(controls);
    marginSpin->setObjectName(QStringLiteral("galleryMarginSpin"));
    marginSpin->setRange(0, 100);
    marginSpin->setSuffix(QStringLiteral(" px"));
    marginSpin->setValue(5);
    row2->addWidget(marginSpin);
    row2->addSpacing(20);
    row2->addWidget(new QLabel(QStringLiteral("Contrast:"), controls));
    contrastCombo = new QComboBox(controls);
    contrastCombo->setObjectName(QStringLiteral("galleryContrastCombo"));
    contrastCombo->addItem(QStringLiteral("Full range"), 0);
    contrastCombo->addItem(QStringLiteral("Auto (dataset)"), 1);
    contrastCombo->addItem(QStringLiteral("Manual"), 2);
    row2->addWidget(contrastCombo);
    lowLabel = new QLabel(QStringLiteral("lo:"), controls);
    row2->addWidget(lowLabel);
    lowSpin = new QSpinBox(controls);
    lowSpin->setObjectName(QStringLiteral("galleryLowSpin"));
    lowSpin->setRange(0, 254);
    lowSpin->setValue(0);
    row2->addWidget(lowSpin);
    highLabel = new QLabel(QStringLiteral("hi:"), controls);
    row2->addWidget(highLabel);
    highSpin = new QSpinBox(controls);
    highSpin->setObjectName(QStringLiteral("galleryHighSpin"));
    highSpin->setRange(1, 255);
    highSpin->setValue(255);
    row2->addWidget(highSpin);
    row2->addStretch();
    exportButton = new QPushButton(QStringLiteral("Export page as PNG\u2026"), controls);
    exportButton->setObjectName(QStringLiteral("galleryExportButton"));
    row2->addWidget(exportButton);
    controlColumn->addLayout(row2);
    column->addWidget(controls);

    auto* line = new QFrame(central);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    column->addWidget(line);

    auto* scroll = new QScrollArea(central);
    scroll->setWidgetResizable(false);
    scroll->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    grid = new GalleryGridWidget;
    grid->setObjectName(QStringLiteral("galleryGrid"));
    scroll->setWidget(grid);
    column->addWidget(scroll, 1);

    infoLabel = new QLabel(central);
    infoLabel->setObjectName(QStringLiteral("galleryInfoLabel"));
    infoLabel->setStyleSheet(QStringLiteral("QLabel { padding: 2px 6px; color: #555; }"));
    column->addWidget(infoLabel);
    setCentralWidget(central);
    updateContrastControls();

    connect(prevButton, &QPushButton::clicked, this, &ImageGalleryWindow::onPrevPage);
    connect(nextButton, &QPushButton::clicked, this, &ImageGalleryWindow::onNextPage);
    connect(pageSizeCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ImageGalleryWindow::onPageSizeChanged);
    connect(showIdsCheck, &QCheckBox::toggled, this, &ImageGalleryWindow::onShowIdsToggled);
    connect(followActiveCheck, &QCheckBox::toggled, this, &ImageGalleryWindow::onFollowActiveToggled);
    connect(autoCutoutCheck, &QCheckBox::toggled, this, &ImageGalleryWindow::onAutoCutoutToggled);
    connect(widthSpin, QOverload<int>::of(&QSpinBox::valueChanged), this, &ImageGalleryWindow::onCutoutSpinChanged);
    connect(heightSpin, QOverload<int>::of(&QSpinBox::valueChanged), this, &ImageGalleryWindow::onCutoutSpinChanged);
    connect(marginSpin, QOverload<int>::of(&QSpinBox::valueChanged), this, &ImageGalleryWindow::onMarginChanged);
    connect(contrastCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ImageGalleryWindow::onContrastModeChanged);
    connect(lowSpin, QOverload<int>::of(&QSpinBox::valueChanged), this, &ImageGalleryWindow::onContrastValuesChanged);
    connect(highSpin, QOverload<int>::of(&QSpinBox::valueChanged), this, &ImageGalleryWindow::onContrastValuesChanged);
    connect(exportButton, &QPushButton::clicked, this, &ImageGalleryWindow::onExportPagePng);
}

double ImageGalleryWindow::galleryPixelSize(const DatasetEntry* entry)
{
    if (!entry)
        return 0.34;
    const auto found = entry->metadata.imaging.find("pixel size");
    if (found == entry->metadata.imaging.end())
        return 0.34;
    bool ok = false;
    // QString reads numbers in the C locale whatever the user's language.
    const double value = QString::fromStdString(found->second).trimmed().toDouble(&ok);
    return ok && std::isfinite(value) && value > 0 ? value : 0.34;
}

void ImageGalleryWindow::setDataset(int id)
{
    datasetId = id;
    invalidateAutoContrast();
    const DatasetEntry* entry = host ? host->findDatasetById(id) : nullptr;
    if (!entry) {
        nameLabel->setText(QStringLiteral("(dataset not found)"));
        nameLabel->setToolTip(QString());
        eventIndices.clear();
        clearGrid();
        updateInfoLabels();
        updatePageButtons();
        return;
    }
    datasetName = entry->displayName;
    nameLabel->setText(datasetName);
    nameLabel->setToolTip(datasetName);
    pixelSize = galleryPixelSize(entry);
    rebuildEventList();
    currentPage = 0;
    if (autoCutout)
        updateAutoCutout();
    updateInfoLabels();
    updatePageButtons();
    requestRender();
}

void ImageGalleryWindow::rebuildEventList()
{
    eventIndices.clear();
    const DatasetEntry* entry = host ? host->findDatasetById(datasetId) : nullptr;
    if (!entry || !entry->featuresLoaded || !entry->reader || !entry->reader->isOpen())
        return;
    eventIndices = host->passingEvents(entry);
}

double ImageGalleryWindow::featurePercentile99(const char* feature, double fallback) const
{
    const DatasetEntry* entry = host ? host->findDatasetById(datasetId) : nullptr;
    if (!entry || !entry->reader || !entry->reader->hasFeature(feature))
        return fallback;
    return galleryPercentile99(entry->reader->getFeature(feature), eventIndices);
}

void ImageGalleryWindow::updateAutoCutout()
{
    if (!autoCutout)
        return;
    const DatasetEntry* entry = host ? host->findDatasetById(datasetId) : nullptr;
    if (!entry || !entry->reader)
        return;
    int w = galleryCutoutExtent(featurePercentile99("size_x", 0.0), pixelSize, margin);
    int h = galleryCutoutExtent(featurePercentile99("size_y", 0.0), pixelSize, margin);
    if ((w <= 0 || h <= 0) && !eventIndices.empty()) {
        int imageWidth = 0;
        int imageHeight = 0;
        const std::vector<std::uint8_t> image = entry->reader->readImage(
            static_cast<std::uint64_t>(eventIndices.front()), imageWidth, imageHeight);
        if (!image.empty()) {
            if (h <= 0)
                h = std::min(imageHeight, 1024);
            if (w <= 0)
                w = std::min(imageWidth, 1024);
        }
    }
    if (w <= 0)
        w = 64;
    if (h <= 0)
        h = 64;
    cutoutWidth = w % 2 ? w + 1 : w;
    cutoutHeight = h % 2 ? h + 1 : h;
    const QSignalBlocker blockWidth(widthSpin);
    const QSignalBlocker blockHeight(heightSpin);
    widthSpin->setValue(cutoutWidth);
    heightSpin->setValue(cutoutHeight);
}

int ImageGalleryWindow::pageCount() const
{
    if (eventIndices.empty() || pageSize <= 0)
        return 0;
    return static_cast<int>((eventIndices.size() + static_cast<size_t>(pageSize) - 1) / static_cast<size_t>(pageSize));
}

void ImageGalleryWindow::updatePageButtons()
{
    prevButton->setEnabled(currentPage > 0);
    nextButton->setEnabled(currentPage + 1 < pageCount());
}

void ImageGalleryWindow::updateInfoLabels()
{
    if (eventIndices.empty()) {
        pageLabel->setText(QStringLiteral("0 / 0"));
        infoLabel->setText(QStringLiteral("No events to display."));
        return;
    }
    pageLabel->setText(QStringLiteral("%1 / %2").arg(currentPage + 1).arg(pageCount()));
    infoLabel->setText(QStringLiteral("%1 events \u00B7 cutout %2 \u00D7 %3 px")
                           .arg(eventIndices.size())
                           .arg(cutoutWidth)
                           .arg(cutoutHeight));
}

void ImageGalleryWindow::updateContrastControls()
{
    const bool manual = contrastMode == 2;
    lowLabel->setEnabled(manual);
    lowSpin->setEnabled(manual);
    highLabel->setEnabled(manual);
    highSpin->setEnabled(manual);
}

void ImageGalleryWindow::refresh()
{
    rebuildEventList();
    currentPage = 0;
    invalidateAutoContrast();
    if (autoCutout)
        updateAutoCutout();
    updateInfoLabels();
    updatePageButtons();
    requestRender();
}

void ImageGalleryWindow::renameDataset(int id, const QString& name)
{
    if (id != datasetId)
        return;
    datasetName = name;
    nameLabel->setText(name);
    nameLabel->setToolTip(name);
}

void ImageGalleryWindow::removeDataset(int id)
{
    // A gallery without its dataset has nothing to show.
    if (id == datasetId)
        close();
}

void ImageGalleryWindow::onActiveDatasetChanged(int id)
{
    if (followActive && id >= 0 && id != datasetId)
        setDataset(id);
}

void ImageGalleryWindow::onPrevPage()
{
    if (currentPage <= 0)
        return;
    --currentPage;
    updatePageButtons();
    updateInfoLabels();
    requestRender();
}

void ImageGalleryWindow::onNextPage()
{
    if (currentPage + 1 >= pageCount())
        return;
    ++currentPage;
    updatePageButtons();
    updateInfoLabels();
    requestRender();
}

void ImageGalleryWindow::onPageSizeChanged(int)
{
    const int value = pageSizeCombo->currentData().toInt();
    if (value <= 0)
        return;
    pageSize = value;
    currentPage = 0;
    updatePageButtons();
    updateInfoLabels();
    requestRender();
}

void ImageGalleryWindow::onAutoCutoutToggled(bool on)
{
    autoCutout = on;
    widthSpin->setEnabled(!on);
    heightSpin->setEnabled(!on);
    if (on) {
        updateAutoCutout();
        updateInfoLabels();
        requestRender();
    }
}

void ImageGalleryWindow::onCutoutSpinChanged()
{
    if (autoCutout)
        return;
    cutoutWidth = widthSpin->value();
    cutoutHeight = heightSpin->value();
    updateInfoLabels();
    requestRender();
}

void ImageGalleryWindow::onMarginChanged(int value)
{
    margin = value;
    if (!autoCutout)
        return;
    updateAutoCutout();
    updateInfoLabels();
    requestRender();
}

void ImageGalleryWindow::onContrastModeChanged(int)
{
    contrastMode = contrastCombo->currentData().toInt();
    updateContrastControls();
    if (contrastMode == 2) {
        if (autoContrastValid) {
            const QSignalBlocker blockLow(lowSpin);
            const QSignalBlocker blockHigh(highSpin);
            lowSpin->setValue(autoLow);
            highSpin->setValue(autoHigh);
        }
        manualLow = lowSpin->value();
        manualHigh = highSpin->value();
    }
    requestRender();
}

void ImageGalleryWindow::onContrastValuesChanged()
{
    if (lowSpin->value() >= highSpin->value()) {
        const QSignalBlocker blockHigh(highSpin);
        highSpin->setValue(std::min(lowSpin->value() + 1, 255));
    }
    manualLow = lowSpin->value();
    manualHigh = highSpin->value();
    if (contrastMode == 2)
        requestRender();
}

void ImageGalleryWindow::onFollowActiveToggled(bool on)
{
    followActive = on;
    if (!on || !host)
        return;
    const int active = host->activeDatasetId();
    if (active >= 0 && active != datasetId)
        setDataset(active);
}

void ImageGalleryWindow::onShowIdsToggled(bool on)
{
    showIds = on;
    requestRender();
}

void ImageGalleryWindow::onExportPagePng()
{
    const QString name = QStringLiteral("gallery_%1_p%2.png")
                             .arg(datasetName.isEmpty() ? QStringLiteral("dataset") : datasetName)
                             .arg(currentPage + 1);
    const QString filter = QStringLiteral("PNG image (*.png)");
    QString path = prompts().getSaveFileName(this, QStringLiteral("Export Gallery Page"), name, filter, nullptr);
    if (path.isEmpty())
        return;
    path = ensureFilterExtension(path, filter);
    QPixmap pixmap;
    if (grid->width() > 0 && grid->height() > 0) {
        pixmap = QPixmap(grid->size());
        pixmap.fill(Qt::white);
        grid->render(&pixmap, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    }
    if (pixmap.isNull() || !pixmap.save(path, "PNG"))
        prompts().warning(this, QStringLiteral("Export failed"), QStringLiteral("Could not write PNG to:\n") + path);
}

void ImageGalleryWindow::closeEvent(QCloseEvent* event)
{
    // Tasks stop after the event in work; nothing they still deliver is shown.
    closing = true;
    stopTasks->store(true);
    ++renderGeneration;
    invalidateAutoContrast();
    renderWatcher->wait();
    autoContrastWatcher->wait();
    emit windowClosed(this);
    QMainWindow::closeEvent(event);
}

void ImageGalleryWindow::clearGrid()
{
    // Whatever render is in flight belongs to what was cleared.
    ++renderGeneration;
    grid->setImages({}, galleryColumnsFor(pageSize), showIds);
}

void ImageGalleryWindow::invalidateAutoContrast()
{
    autoContrastValid = false;
    ++autoContrastRequestId;
}

void ImageGalleryWindow::requestRender()
{
    if (!grid || closing)
        return;
    const DatasetEntry* entry = host ? host->findDatasetById(datasetId) : nullptr;
    if (!entry || !entry->reader || eventIndices.empty() || cutoutWidth <= 0 || cutoutHeight <= 0) {
        clearGrid();
        updateInfoLabels();
        return;
    }
    recomputeAutoContrastIfNeeded();
    if (contrastMode == 1 && !autoContrastValid) {
        clearGrid();
        infoLabel->setText(QStringLiteral("Computing auto-contrast\u2026"));
        return;
    }
    int lo = 0;
    int hi = 255;
    if (contrastMode == 1) {
        lo = autoLow;
        hi = autoHigh;
    } else if (contrastMode == 2) {
        lo = manualLow;
        hi = manualHigh;
    }
    if (static_cast<std::int64_t>(pageSize) * cutoutWidth * cutoutHeight > galleryMaxPagePixels) {
        clearGrid();
        infoLabel->setText(QStringLiteral("Page too large: choose fewer events per page or a smaller cutout."));
        return;
    }
    const size_t first = static_cast<size_t>(pageSize) * static_cast<size_t>(currentPage);
    const size_t last = std::min(eventIndices.size(), first + static_cast<size_t>(pageSize));
    if (first >= last) {
        clearGrid();
        return;
    }
    GalleryRenderInput input;
    input.eventIndices.assign(eventIndices.begin() + static_cast<std::ptrdiff_t>(first),
                              eventIndices.begin() + static_cast<std::ptrdiff_t>(last));
    input.cutoutWidth = cutoutWidth;
    input.cutoutHeight = cutoutHeight;
    input.pixelSize = pixelSize;
    input.contrastMode = contrastMode;
    input.contrastLow = lo;
    input.contrastHigh = hi;
    input.generation = ++renderGeneration;
    if (renderRunning) {
        // One more render follows the running one, with the settings of that moment.
        renderPending = true;
        infoLabel->setText(QStringLiteral("Rendering\u2026"));
        return;
    }
    renderPending = false;
    renderRunning = true;
    renderSlot = std::make_shared<GalleryRenderResult>();
    renderWatcher->start([function = renderFunction, slot = renderSlot, input = std::move(input),
                          reader = entry->reader, stop = stopTasks]() mutable {
        *slot = function(std::move(input), std::move(reader), std::move(stop));
    });
    infoLabel->setText(QStringLiteral("Rendering\u2026"));
}

void ImageGalleryWindow::onPageRenderFinished()
{
    renderRunning = false;
    GalleryRenderResult result;
    try {
        renderWatcher->rethrowFailure();
        result = std::move(*renderSlot);
    } catch (...) {
        // The window stays usable: a waiting request still runs before the error is reported.
        if (renderPending) {
            renderPending = false;
            requestRender();
        } else {
            updateInfoLabels();
        }
        throw;
    }
    // A stale page is dropped unconverted.
    if (result.generation == renderGeneration)
        grid->setImages(result.cells, galleryColumnsFor(pageSize), showIds);
    if (renderPending) {
        renderPending = false;
        requestRender();
    } else if (result.generation == renderGeneration) {
        updateInfoLabels();
    }
}

void ImageGalleryWindow::recomputeAutoContrastIfNeeded()
{
    if (contrastMode != 1 || autoContrastValid)
        return;
    const DatasetEntry* entry = host ? host->findDatasetById(datasetId) : nullptr;
    if (!entry || !entry->reader || eventIndices.empty()) {
        autoLow = 0;
        autoHigh = 255;
        autoContrastValid = true;
        return;
    }
    if (autoContrastRunning)
        return;
    const int requestId = ++autoContrastRequestId;
    autoContrastRunning = true;
    autoContrastSlot = std::make_shared<GalleryAutoContrastResult>();
    autoContrastWatcher->start([slot = autoContrastSlot, reader = entry->reader, events = eventIndices, requestId,
                                stop = stopTasks]() {
        const std::pair<int, int> limits = computeGalleryAutoContrast(reader, events, stop);
        slot->lo = limits.first;
        slot->hi = limits.second;
        slot->requestId = requestId;
    });
}

void ImageGalleryWindow::onAutoContrastFinished()
{
    autoContrastRunning = false;
    autoContrastWatcher->rethrowFailure();
    const GalleryAutoContrastResult result = *autoContrastSlot;
    if (result.requestId != autoContrastRequestId) {
        // Limits of an older list: the current one still needs its own.
        if (contrastMode == 1 && !autoContrastValid)
            requestRender();
        return;
    }
    autoLow = result.lo;
    autoHigh = result.hi;
    autoContrastValid = true;
    {
        const QSignalBlocker blockLow(lowSpin);
        const QSignalBlocker blockHigh(highSpin);
        lowSpin->setValue(autoLow);
        highSpin->setValue(autoHigh);
    }
    if (contrastMode == 1)
        requestRender();
}

} // namespace Tervane3
