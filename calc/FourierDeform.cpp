// Placeholder of the calculator until its algorithm is built.
#include "calc/FourierDeform.h"

#include <cstdio>

namespace Tervane3 {

FourierDeform::FourierDeform(QObject* parent)
    : QObject(parent)
{
}

bool FourierDeform::compute(RTDCReader*)
{
    std::fprintf(stderr, "FourierDeform: not available in this build\n");
    std::fflush(stderr);
    return false;
}

} // namespace Tervane3
