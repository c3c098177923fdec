// Placeholder of the calculator until its algorithm is built.
#include "calc/FLRefinement.h"

#include <cstdio>

namespace Tervane3 {

FLRefinement::FLRefinement(QObject* parent)
    : QObject(parent)
{
}

bool FLRefinement::run(RTDCReader*, const Metadata&, const TraceFilterSettings&)
{
    std::fprintf(stderr, "FLRefinement: not available in this build\n");
    std::fflush(stderr);
    return false;
}

} // namespace Tervane3
