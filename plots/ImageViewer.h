// The current event's camera image, optionally with its mask laid over it.
//
// First version: caption, image area and the two check boxes with the signals the main
// window connects; showing, zooming and saving images come with the event display.
#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;

namespace Tervane3 {

class ImageViewer : public QWidget
{
    Q_OBJECT

public:
    explicit ImageViewer(QWidget* parent = nullptr);

signals:
    void imageSaved(const QString& path);
    void showMaskToggled(bool checked);
    void autoContrastToggled(bool checked);

private:
    QLabel* captionLabel = nullptr;
    QLabel* imageLabel = nullptr;
    QCheckBox* showMaskCheck = nullptr;
    QCheckBox* autoContrastCheck = nullptr;
};

} // namespace Tervane3
