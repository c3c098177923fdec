// A label that shows an image and keeps its aspect ratio in layouts (height for width):
// the export preview of the combine plot window.
#pragma once

#include <QLabel>

namespace Tervane3 {

class AspectRatioLabel : public QLabel
{
    Q_OBJECT

public:
    // ratio: width / height of the image (a ratio <= 0 counts as 1).
    explicit AspectRatioLabel(double ratio, QWidget* parent = nullptr);
    ~AspectRatioLabel() override;

    int heightForWidth(int width) const override;
    bool hasHeightForWidth() const override;

    double ratio() const { return aspect; }

private:
    double aspect = 1.0;
};

} // namespace Tervane3
