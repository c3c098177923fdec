// Placeholder of the calculator until its algorithm is built.
#include "calc/ImageFeatures.h"

#include <cstdio>

namespace Tervane3 {

ImageFeatures::ImageFeatures(QObject* parent)
    : QObject(parent)
{
}

bool ImageFeatures::compute(RTDCReader*)
{
    std::fprintf(stderr, "ImageFeatures: not available in this build\n");
    std::fflush(stderr);
    return false;
}

} // namespace Tervane3

namespace Tervane3 {

std::vector<std::string> ImageFeatures::featureNames()
{
    return {};
}

} // namespace Tervane3
