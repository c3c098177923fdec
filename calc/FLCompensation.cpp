// Placeholder of the calculator until its algorithm is built.
#include "calc/FLCompensation.h"

#include <cstdio>

namespace Tervane3 {

FLCompensation::FLCompensation(QObject* parent)
    : QObject(parent)
{
}

bool FLCompensation::compute(RTDCReader*, const std::vector<int>&, const arma::mat&)
{
    std::fprintf(stderr, "FLCompensation: not available in this build\n");
    std::fflush(stderr);
    return false;
}

} // namespace Tervane3
