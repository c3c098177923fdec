// Evaluation of a dataset's filter (see EventFilter.h). Rules are resolved once per call;
// events are then tested chunk by chunk, the cheap range checks over the whole chunk first
// and the polygon checks only for the events that are still in.
#include "core/EventFilter.h"

#include "core/AxisScaleMode.h"
#include "core/ParallelFor.h"
#include "core/PseudoLogTransform.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>

namespace Tervane3 {

void EventFilter::addRule(const FilterRule& rule)
{
    rules.push_back(rule);
}

void EventFilter::updateRule(int index, const FilterRule& rule)
{
    if (index >= 0 && index < ruleCount())
        rules[static_cast<size_t>(index)] = rule;
}

void EventFilter::removeRule(int index)
{
    if (index >= 0 && index < ruleCount())
        rules.erase(rules.begin() + index);
}

void EventFilter::clearRules()
{
    rules.clear();
}

int EventFilter::ruleCount() const
{
    return static_cast<int>(rules.size());
}

bool EventFilter::operator==(const EventFilter& other) const
{
    return rules == other.rules && m_combineMode == other.m_combineMode
        && m_enabled == other.m_enabled;
}

std::vector<std::string> EventFilter::usedFeatureNames() const
{
    std::vector<std::string> names;
    auto addOnce = [&names](const std::string& name) {
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    };
    for (const FilterRule& rule : rules) {
        if (!rule.enabled)
            continue;
        addOnce(rule.featureName);
        if (rule.type == PolygonRule && !rule.featureNameY.empty())
            addOnce(rule.featureNameY);
    }
    return names;
}

namespace {

const PseudoLogTransform& sharedPseudoLog()
{
    static const PseudoLogTransform transform(kPseudoLogThreshold, kPseudoLogSlope);
    return transform;
}

// transformAxisValue for a mode already clamped to 0..2.
inline double axisValue(double value, int mode, const PseudoLogTransform& pseudoLog)
{
    switch (mode) {
    case ScaleLog:
        return value > 0.0 ? std::log(value) : 0.0;
    case ScalePseudoLog:
        return pseudoLog.map(value);
    default:
        return value;
    }
}

struct RangeCheck
{
    const double* values;
    double minValue;
    double maxValue;
    bool inverted;
};

struct PolygonCheck
{
    const double* x;
    const double* y;
    int xMode;
    int yMode;
    bool inverted;
    std::vector<PolygonVertex> vertices; // in axis coordinates
    // Every point inside lies in minY <= y < maxY (the crossing rule needs one vertex
    // strictly above and one at or below the point), so others skip the edge loop.
    double minY;
    double maxY;
};

const std::vector<double>* usableColumn(const FeatureColumnMap& columns,
                                        const std::string& name, size_t eventCount)
{
    const auto it = columns.find(name);
    if (it == columns.end() || it->second == nullptr || it->second->size() < eventCount)
        return nullptr;
    return it->second;
}

} // namespace

std::vector<int> EventFilter::apply(const FeatureColumnMap& columns, size_t eventCount) const
{
    std::vector<int> result;

    std::vector<RangeCheck> ranges;
    std::vector<PolygonCheck> polygons;
    const PseudoLogTransform& pseudoLog = sharedPseudoLog();
    for (const FilterRule& rule : rules) {
        if (!rule.enabled)
            continue;
        if (rule.type == RangeRule) {
            const std::vector<double>* column = usableColumn(columns, rule.featureName, eventCount);
            if (column)
                ranges.push_back({column->data(), rule.minValue, rule.maxValue, rule.inverted});
        } else if (rule.type == PolygonRule) {
            if (rule.polygonVertices.size() < 3)
                continue;
            const std::vector<double>* xs = usableColumn(columns, rule.featureName, eventCount);
            const std::vector<double>* ys = usableColumn(columns, rule.featureNameY, eventCount);
            if (!xs || !ys)
                continue;
            PolygonCheck check{xs->data(), ys->data(), clampScaleMode(rule.scaleXMode),
                               clampScaleMode(rule.scaleYMode), rule.inverted, {}, 0.0, 0.0};
            check.vertices.reserve(rule.polygonVertices.size());
            for (const PolygonVertex& v : rule.polygonVertices)
                check.vertices.emplace_back(axisValue(v.first, check.xMode, pseudoLog),
                                            axisValue(v.second, check.yMode, pseudoLog));
            check.minY = check.vertices.front().second;
            check.maxY = check.minY;
            for (const PolygonVertex& v : check.vertices) {
                // fmin/fmax skip a NaN vertex; the edge loop treats it as never above.
                check.minY = std::fmin(check.minY, v.second);
                check.maxY = std::fmax(check.maxY, v.second);
            }
            polygons.push_back(std::move(check));
        }
    }

    if ((ranges.empty() && polygons.empty()) || eventCount == 0) {
        result.resize(eventCount);
        for (size_t i = 0; i < eventCount; ++i)
            result[i] = static_cast<int>(i);
        return result;
    }

    // Mode 0 keeps the events that pass every check; any other mode keeps exactly the
    // others. First every chunk marks and counts its events, then each writes its kept
    // indices at its own offset of the result.
    const uint8_t wanted = m_combineMode == CombineAllPass ? 1 : 0;
    constexpr size_t grain = 1 << 16;
    const size_t chunkCount = (eventCount + grain - 1) / grain;
    std::unique_ptr<uint8_t[]> pass(new uint8_t[eventCount]);
    std::vector<size_t> keptPerChunk(chunkCount, 0);
    parallelFor(eventCount, grain, [&](size_t begin, size_t end) {
        const size_t n = end - begin;
        uint8_t* mark = pass.get() + begin;
        std::fill(mark, mark + n, uint8_t{1});
        for (const RangeCheck& check : ranges) {
            const double* v = check.values + begin;
            const double lo = check.minValue;
            const double hi = check.maxValue;
            const uint8_t inverted = check.inverted ? 1 : 0;
            for (size_t i = 0; i < n; ++i) {
                const uint8_t inside = static_cast<uint8_t>((v[i] >= lo) & (v[i] <= hi));
                mark[i] &= static_cast<uint8_t>(inside ^ inverted);
            }
        }
        for (const PolygonCheck& check : polygons) {
            for (size_t i = 0; i < n; ++i) {
                if (!mark[i])
                    continue;
                const size_t event = begin + i;
                const double y = axisValue(check.y[event], check.yMode, pseudoLog);
                bool inside = false;
                if (y >= check.minY && y < check.maxY) {
                    const double x = axisValue(check.x[event], check.xMode, pseudoLog);
                    inside = pointInPolygon(x, y, check.vertices);
                }
                mark[i] = inside != check.inverted;
            }
        }
        size_t kept = 0;
        for (size_t i = 0; i < n; ++i)
            kept += mark[i] == wanted ? 1 : 0;
        keptPerChunk[begin / grain] = kept;
    });

    std::vector<size_t> offset(chunkCount, 0);
    size_t total = 0;
    for (size_t c = 0; c < chunkCount; ++c) {
        offset[c] = total;
        total += keptPerChunk[c];
    }
    result.resize(total);
    parallelFor(eventCount, grain, [&](size_t begin, size_t end) {
        int* out = result.data() + offset[begin / grain];
        const uint8_t* mark = pass.get();
        for (size_t i = begin; i < end; ++i) {
            if (mark[i] == wanted)
                *out++ = static_cast<int>(i);
        }
    });
    return result;
}

double transformAxisValue(double value, int mode)
{
    return axisValue(value, clampScaleMode(mode), sharedPseudoLog());
}

bool pointInPolygon(double x, double y, const std::vector<PolygonVertex>& vertices)
{
    bool inside = false;
    const size_t n = vertices.size();
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        const double xi = vertices[i].first;
        const double yi = vertices[i].second;
        const double xj = vertices[j].first;
        const double yj = vertices[j].second;
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi)
            inside = !inside;
    }
    return inside;
}

void registerFilterMetaTypes()
{
    static std::once_flag once;
    std::call_once(once, [] {
        qRegisterMetaType<FilterRule>("Tervane3::FilterRule");
        qRegisterMetaType<FilterRule>("FilterRule");
        qRegisterMetaType<EventFilter>("Tervane3::EventFilter");
        qRegisterMetaType<EventFilter>("EventFilter");
    });
}

} // namespace Tervane3
