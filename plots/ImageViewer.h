// The current event's camera image, optionally with its segmentation mask laid over it:
// caption, a scrollable zoomable picture, zoom buttons, the "Show Mask" and "Auto Contrast"
// switches and "Save Image..." in the context menu. GUI thread only.
//
// The image is kept exactly as received; zoom, contrast stretch and the mask tint only
// change what is displayed, never what is saved.
#pragma once

#include <QImage>
#include <QWidget>

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

class QCheckBox;
class QLabel;
class QScrollArea;

namespace Tervane3 {

class ImageViewer : public QWidget
{
    Q_OBJECT

public:
    explicit ImageViewer(QWidget* parent = nullptr);

    // Shows height rows of width 8-bit pixels (row-major). A vector shorter than
    // width x height or a non-positive size clears the viewer instead.
    void setImage(const std::vector<std::uint8_t>& pixels, int width, int height, const QString& caption);
    // As setImage with the event's mask of the same size laid over it.
    void setImageWithMask(const std::vector<std::uint8_t>& pixels, const std::vector<std::uint8_t>& mask,
                          int width, int height, const QString& caption);
    // Back to "No Image"; zoom and fit mode stay.
    void clear();

    bool isMaskShown() const;
    void setMaskEnabled(bool enabled);

    // Redraws the picture from the image, mask, contrast switch and zoom.
    void render();

    // The mask tint, BGR, and its weight over the image inside the mask.
    static const cv::Scalar maskColor;
    static constexpr double maskOpacity = 0.3;
    // The picture before zooming: the image, contrast-stretched when asked, and with a
    // mask three-channel BGR with the tint blended in where the mask is non-zero.
    static cv::Mat composeDisplay(const cv::Mat& image, const cv::Mat& mask, bool autoContrast);

    // State for the event views and tests.
    const cv::Mat& currentImage() const { return image; }
    const cv::Mat& currentMask() const { return maskImage; }
    double zoomFactor() const { return zoom; }
    bool isFitEnabled() const { return fitEnabled; }
    QString caption() const;
    // The picture the label shows (null when nothing is shown).
    QImage displayedImage() const { return shownImage; }

signals:
    void imageSaved(const QString& path);
    void showMaskToggled(bool checked);
    void autoContrastToggled(bool checked);

public slots:
    void zoomIn();
    void zoomOut();
    void fitToWindow();
    void actualSize();
    void saveImage();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void onAutoContrastToggled(bool checked);
    void showOrFit();

    QLabel* captionLabel = nullptr;
    QScrollArea* scrollArea = nullptr;
    QLabel* imageLabel = nullptr;
    QCheckBox* showMaskCheck = nullptr;
    QCheckBox* autoContrastCheck = nullptr;

    cv::Mat image;     // CV_8UC1, exactly as received
    cv::Mat maskImage; // CV_8UC1, same size as image; empty when no mask is shown
    double zoom = 1.0; // within [minZoom, maxZoom] after every zoom operation
    bool fitEnabled = true;
    bool autoContrast = false;
    QImage shownImage;
};

} // namespace Tervane3
