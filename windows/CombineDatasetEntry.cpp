// The colour table of new combine-plot rows.
#include "windows/CombineDatasetEntry.h"

#include <array>

namespace Tervane3 {

QColor combineDatasetColor(int index)
{
    static const std::array<QRgb, combineDatasetColorCount> table = {
        0x1f77b4, 0xff7f0e, 0x2ca02c, 0xd62728, 0x9467bd, 0x8c564b, 0xe377c2,
        0x7f7f7f, 0xbcbd22, 0x17becf, 0xaec7e8, 0xffbb78, 0x98df8a, 0xff9896,
        0xc5b0d5, 0xc49c94, 0xf7b6d2, 0xc7c7c7, 0xdbdb8d, 0x9edae5,
    };
    const int slot = ((index % combineDatasetColorCount) + combineDatasetColorCount) % combineDatasetColorCount;
    return QColor(table[static_cast<size_t>(slot)]);
}

} // namespace Tervane3
