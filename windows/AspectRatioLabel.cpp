// Image label with a fixed aspect ratio.
#include "windows/AspectRatioLabel.h"

#include <cmath>

namespace Tervane3 {

AspectRatioLabel::AspectRatioLabel(double ratio, QWidget* parent)
    : QLabel(parent)
    , aspect(std::isfinite(ratio) && ratio > 0.0 ? ratio : 1.0)
{
}

AspectRatioLabel::~AspectRatioLabel() = default;

int AspectRatioLabel::heightForWidth(int width) const
{
    return static_cast<int>(width / aspect);
}

bool AspectRatioLabel::hasHeightForWidth() const
{
    return true;
}

} // namespace Tervane3
