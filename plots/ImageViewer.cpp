// The event image viewer: layout, composing the displayed picture, zoom and saving.
#include "plots/ImageViewer.h"

#include "app/Prompts.h"
#include "app/WindowHelpers.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace Tervane3 {

namespace {

constexpr double kZoomStep = 1.25;
constexpr double kMinZoom = 0.1;
constexpr double kMaxZoom = 10.0;

double clampZoom(double z)
{
    return std::clamp(z, kMinZoom, kMaxZoom);
}

// Deep copy of one matrix into a picture: one channel as greyscale, three as BGR -> RGB.
QImage toQImage(const cv::Mat& mat)
{
    if (mat.empty())
        return QImage();
    if (mat.type() == CV_8UC1) {
        return QImage(mat.data, mat.cols, mat.rows, static_cast<int>(mat.step), QImage::Format_Grayscale8)
            .copy();
    }
    if (mat.type() == CV_8UC3) {
        cv::Mat rgb;
        cv::cvtColor(mat, rgb, cv::COLOR_BGR2RGB);
        return QImage(rgb.data, rgb.cols, rgb.rows, static_cast<int>(rgb.step), QImage::Format_RGB888).copy();
    }
    return QImage();
}

} // namespace

// Red 254, green 204, blue 0.
const cv::Scalar ImageViewer::maskColor(0, 204, 254);

ImageViewer::ImageViewer(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    captionLabel = new QLabel(QStringLiteral("No Image"), this);
    captionLabel->setObjectName(QStringLiteral("imageCaption"));
    captionLabel->setAlignment(Qt::AlignCenter);
    // The pane beside the plot is narrow: a long caption ("Event 102288 (with mask)") wraps
    // instead of being cut off at both ends.
    captionLabel->setWordWrap(true);
    QFont captionFont = captionLabel->font();
    captionFont.setWeight(QFont::Bold);
    captionFont.setPointSize(12);
    captionLabel->setFont(captionFont);
    layout->addWidget(captionLabel);

    scrollArea = new QScrollArea(this);
    scrollArea->setObjectName(QStringLiteral("imageScrollArea"));
    scrollArea->setWidgetResizable(false);
    imageLabel = new QLabel(scrollArea);
    imageLabel->setObjectName(QStringLiteral("imageLabel"));
    imageLabel->setAlignment(Qt::AlignCenter);
    imageLabel->setScaledContents(false);
    imageLabel->setMinimumSize(100, 100);
    scrollArea->setWidget(imageLabel);
    scrollArea->setAlignment(Qt::AlignCenter);
    layout->addWidget(scrollArea, 1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    struct ButtonSpec
    {
        const char* text;
        const char* tip;
        void (ImageViewer::*slot)();
    };
    const ButtonSpec buttonDescs[] = {
        {"+", "Zoom In", &ImageViewer::zoomIn},
        {"-", "Zoom Out", &ImageViewer::zoomOut},
        {"1:1", "Actual Size", &ImageViewer::actualSize},
        {"Fit", "Fit to Window", &ImageViewer::fitToWindow},
    };
    for (const ButtonSpec& desc : buttonDescs) {
        auto* button = new QPushButton(QString::fromUtf8(desc.text), this);
        button->setToolTip(QString::fromUtf8(desc.tip));
        button->setStyleSheet(
            QStringLiteral("QPushButton { padding: 2px 6px; min-height: 16px; min-width: 20px; }"));
        connect(button, &QPushButton::clicked, this, desc.slot);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    layout->addLayout(buttons);

    auto* checks = new QHBoxLayout;
    checks->setSpacing(8);
    showMaskCheck = new QCheckBox(QStringLiteral("Show Mask"), this);
    showMaskCheck->setObjectName(QStringLiteral("showMaskCheck"));
    showMaskCheck->setChecked(true);
    showMaskCheck->setEnabled(false);
    showMaskCheck->setToolTip(QStringLiteral("Show mask overlay"));
    autoContrastCheck = new QCheckBox(QStringLiteral("Auto Contrast"), this);
    autoContrastCheck->setObjectName(QStringLiteral("autoContrastCheck"));
    autoContrastCheck->setToolTip(QStringLiteral("Stretch image contrast to full range"));
    checks->addWidget(showMaskCheck);
    checks->addWidget(autoContrastCheck);
    checks->addStretch();
    layout->addLayout(checks);

    connect(showMaskCheck, &QCheckBox::toggled, this, &ImageViewer::showMaskToggled);
    connect(autoContrastCheck, &QCheckBox::toggled, this, &ImageViewer::onAutoContrastToggled);
}

void ImageViewer::setImage(const std::vector<std::uint8_t>& pixels, int width, int height, const QString& text)
{
    if (pixels.empty() || width <= 0 || height <= 0
        || pixels.size() < static_cast<size_t>(width) * static_cast<size_t>(height)) {
        clear();
        return;
    }
    // The constructor over foreign data does not copy; clone() does.
    image = cv::Mat(height, width, CV_8UC1, const_cast<std::uint8_t*>(pixels.data())).clone();
    maskImage.release();
    captionLabel->setText(text);
    showOrFit();
}

void ImageViewer::setImageWithMask(const std::vector<std::uint8_t>& pixels, const std::vector<std::uint8_t>& mask,
                                   int width, int height, const QString& text)
{
    const size_t needed = (width > 0 && height > 0) ? static_cast<size_t>(width) * static_cast<size_t>(height) : 0;
    if (needed == 0 || pixels.size() < needed || mask.size() < needed) {
        clear();
        return;
    }
    image = cv::Mat(height, width, CV_8UC1, const_cast<std::uint8_t*>(pixels.data())).clone();
    maskImage = cv::Mat(height, width, CV_8UC1, const_cast<std::uint8_t*>(mask.data())).clone();
    captionLabel->setText(text);
    showOrFit();
}

void ImageViewer::clear()
{
    image.release();
    maskImage.release();
    shownImage = QImage();
    imageLabel->clear();
    imageLabel->resize(imageLabel->minimumSize());
    captionLabel->setText(QStringLiteral("No Image"));
}

bool ImageViewer::isMaskShown() const
{
    return showMaskCheck->isChecked();
}

void ImageViewer::setMaskEnabled(bool enabled)
{
    showMaskCheck->setEnabled(enabled);
}

QString ImageViewer::caption() const
{
    return captionLabel->text();
}

void ImageViewer::showOrFit()
{
    if (fitEnabled)
        fitToWindow();
    else
        render();
}

cv::Mat ImageViewer::composeDisplay(const cv::Mat& source, const cv::Mat& mask, bool stretch)
{
    if (source.empty())
        return cv::Mat();
    cv::Mat shown = source.clone();
    if (stretch) {
        cv::Mat grey;
        if (shown.channels() > 1)
            cv::cvtColor(shown, grey, cv::COLOR_BGR2GRAY);
        else
            grey = shown;
        double lo = 0.0;
        double hi = 0.0;
        cv::minMaxLoc(grey, &lo, &hi);
        if (hi > lo) {
            const double factor = 255.0 / (hi - lo);
            shown.convertTo(shown, -1, factor, -lo * factor);
        }
    }
    if (!mask.empty() && mask.size() == shown.size()) {
        cv::Mat bgr;
        if (shown.channels() == 1)
            cv::cvtColor(shown, bgr, cv::COLOR_GRAY2BGR);
        else
            bgr = shown;
        cv::Mat tinted = bgr.clone();
        tinted.setTo(maskColor, mask != 0);
        cv::addWeighted(bgr, 1.0 - maskOpacity, tinted, maskOpacity, 0.0, shown);
    }
    return shown;
}

void ImageViewer::render()
{
    if (image.empty())
        return;
    const cv::Mat composed = composeDisplay(image, maskImage, autoContrast);
    // Tiny images at small zoom would truncate to zero pixels; one pixel is the least.
    const int w = std::max(1, static_cast<int>(composed.cols * zoom));
    const int h = std::max(1, static_cast<int>(composed.rows * zoom));
    cv::Mat scaled;
    cv::resize(composed, scaled, cv::Size(w, h), 0.0, 0.0, cv::INTER_LINEAR);
    shownImage = toQImage(scaled);
    imageLabel->setPixmap(QPixmap::fromImage(shownImage));
    imageLabel->resize(shownImage.size());
}

void ImageViewer::zoomIn()
{
    zoom = clampZoom(zoom * kZoomStep);
    fitEnabled = false;
    render();
}

void ImageViewer::zoomOut()
{
    zoom = clampZoom(zoom / kZoomStep);
    fitEnabled = false;
    render();
}

void ImageViewer::actualSize()
{
    zoom = 1.0;
    fitEnabled = false;
    render();
}

void ImageViewer::fitToWindow()
{
    fitEnabled = true;
    if (image.empty())
        return;
    const QSize view = scrollArea->viewport()->size();
    zoom = clampZoom(std::min(static_cast<double>(view.height()) / image.rows,
                              static_cast<double>(view.width()) / image.cols));
    render();
}

void ImageViewer::onAutoContrastToggled(bool checked)
{
    autoContrast = checked;
    render();
    emit autoContrastToggled(checked);
}

void ImageViewer::contextMenuEvent(QContextMenuEvent* event)
{
    if (image.empty()) {
        QWidget::contextMenuEvent(event);
        return;
    }
    QMenu menu(this);
    QAction* save = menu.addAction(QStringLiteral("Save Image..."));
    connect(save, &QAction::triggered, this, &ImageViewer::saveImage);
    menu.exec(event->globalPos());
}

void ImageViewer::saveImage()
{
    if (image.empty()) {
        prompts().warning(this, QStringLiteral("No Image"), QStringLiteral("There is no image to save."));
        return;
    }
    const QString offered = QStringLiteral("PNG Images (*.png);;JPEG Images (*.jpg);;All Files (*)");
    QString selectedFilter;
    QString path = prompts().getSaveFileName(this, QStringLiteral("Save Image"), QString(), offered, &selectedFilter);
    if (path.isEmpty())
        return;
    path = ensureOfferedExtension(path, selectedFilter, offered);

    // The writer picks PNG or JPEG by the extension; it throws for a name it cannot map
    // and returns false when the file cannot be written. Both are failures for the user.
    QString failure;
    try {
        if (!cv::imwrite(QFile::encodeName(path).toStdString(), image))
            failure = QStringLiteral("the file could not be written.");
    } catch (const cv::Exception& e) {
        failure = QString::fromStdString(e.err.empty() ? std::string(e.what()) : e.err);
    }
    if (!failure.isEmpty()) {
        prompts().critical(this, QStringLiteral("Error"), QStringLiteral("Failed to save image: %1").arg(failure));
        return;
    }
    emit imageSaved(path);
    prompts().information(this, QStringLiteral("Success"), QStringLiteral("Image saved successfully."));
}

} // namespace Tervane3
