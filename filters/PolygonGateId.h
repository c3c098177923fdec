// How a polygon gate is named on the scatter plot (PolygonRuleId): 0 .. 999999 is the index
// of a rule of the active dataset's own filter, 1000000 + group id * 10000 + rule index a
// rule of a filter group, -1 none. Group ids are small counters and groups hold fewer than
// 10000 rules, so the encoding is not checked.
#pragma once

namespace Tervane3 {

constexpr int kGroupGateIdBase = 1000000;
constexpr int kGroupGateIdStride = 10000;

constexpr int groupGateId(int groupId, int ruleIndex)
{
    return kGroupGateIdBase + groupId * kGroupGateIdStride + ruleIndex;
}

// True for the id of a group's gate, with its group id and rule index.
constexpr bool decodeGroupGateId(int id, int& groupId, int& ruleIndex)
{
    if (id < kGroupGateIdBase)
        return false;
    const int v = id - kGroupGateIdBase;
    groupId = v / kGroupGateIdStride;
    ruleIndex = v % kGroupGateIdStride;
    return true;
}

} // namespace Tervane3
