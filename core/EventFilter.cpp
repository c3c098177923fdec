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
#include <limits>
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

// One edge of a polygon, from vertex i to the vertex before it (j), with the differences
// the crossing test needs computed once.
struct PolygonEdge
{
    double xi;
    double yi;
    double yj;
    double dx; // xj - xi
    double dy; // yj - yi
};

// The even-odd rule's toggle for one edge: the edge spans the point's y (a vertex at exactly
// that y counts as below) and crosses that height to the right of x. The same arithmetic as
// pointInPolygon, so both give identical answers.
inline bool togglesAt(double x, double y, double xi, double yi, double yj, double dx, double dy)
{
    return (yi > y) != (yj > y) && x < dx * (y - yi) / dy + xi;
}

inline bool insideEdges(double x, double y, const PolygonEdge* first, const PolygonEdge* last)
{
    bool inside = false;
    for (const PolygonEdge* e = first; e != last; ++e) {
        if (togglesAt(x, y, e->xi, e->yi, e->yj, e->dx, e->dy))
            inside = !inside;
    }
    return inside;
}

// Raw data values of one axis that can map into a closed interval of axis coordinates:
// every value outside [low, high] maps outside it. On a logarithmic axis values <= 0 (and
// NaN) map to exactly 0 and are candidates when 0 lies in the interval.
struct DataWindow
{
    double low = -std::numeric_limits<double>::infinity();
    double high = std::numeric_limits<double>::infinity();
    bool logAxis = false;
    bool nonPositive = false;

    bool contains(double v) const
    {
        if (logAxis && !(v > 0.0))
            return nonPositive;
        return v >= low && v <= high;
    }
};

// The window of data values for axis coordinates in [lo, hi]. The bounds are widened far
// beyond the rounding of the transform and its inverse (a few units in the last place), so
// a value outside them lies outside [lo, hi] also after rounding.
DataWindow dataWindow(double lo, double hi, int mode, const PseudoLogTransform& pseudoLog)
{
    DataWindow window;
    if (mode == ScaleLinear) {
        window.low = lo;
        window.high = hi;
        return window;
    }
    const double low = lo - 1e-9 * (1.0 + std::fabs(lo));
    const double high = hi + 1e-9 * (1.0 + std::fabs(hi));
    if (mode == ScaleLog) {
        window.logAxis = true;
        window.low = std::exp(low);
        window.high = std::exp(high);
        window.nonPositive = lo <= 0.0 && 0.0 <= hi;
    } else {
        // Strictly increasing and continuous, so its inverse bounds the preimage.
        window.low = pseudoLog.invTransform(low);
        window.high = pseudoLog.invTransform(high);
    }
    return window;
}

struct PolygonCheck
{
    const double* x = nullptr;
    const double* y = nullptr;
    int xMode = ScaleLinear;
    int yMode = ScaleLinear;
    bool inverted = false;
    std::vector<PolygonEdge> edges; // in axis coordinates
    // Every point inside lies in minY <= y < maxY (the crossing rule needs one vertex
    // strictly above and one at or below the point), so others skip the edge loop.
    double minY = 0.0;
    double maxY = 0.0;
    // With finite vertices of moderate size an event can only be inside when its axis
    // coordinates lie in the vertices' bounding box (x widened by the rounding of the
    // crossing points): left of every crossing it toggles once per spanning edge, an even
    // number of times, and right of them never. The windows hold the raw values that can
    // map into that box, so most events outside it are passed over without a transform.
    bool windowed = false;
    DataWindow xWindow;
    DataWindow yWindow;
    // Horizontal slabs between the distinct vertex heights (ascending in slabY): between two
    // neighbouring heights the same edges span every y, so a point is tested against the
    // edges of its slab only (slabEdges[slabStart[k]] up to slabEdges[slabStart[k + 1]]).
    // Empty unless the windows are in use, or when the lists would grow too long.
    std::vector<double> slabY;
    std::vector<size_t> slabStart;
    std::vector<PolygonEdge> slabEdges;

    bool inside(double px, double py) const
    {
        if (slabY.empty())
            return insideEdges(px, py, edges.data(), edges.data() + edges.size());
        // minY <= y < maxY holds, so y lies in one of the slabs.
        const size_t k = static_cast<size_t>(std::upper_bound(slabY.begin(), slabY.end(), py) - slabY.begin()) - 1;
        return insideEdges(px, py, slabEdges.data() + slabStart[k], slabEdges.data() + slabStart[k + 1]);
    }
};

// The slabs of a polygon whose vertices are all finite.
void buildSlabs(PolygonCheck& check)
{
    std::vector<double> heights;
    for (const PolygonEdge& e : check.edges)
        heights.push_back(e.yi);
    std::sort(heights.begin(), heights.end());
    heights.erase(std::unique(heights.begin(), heights.end()), heights.end());
    if (heights.size() < 2)
        return;
    // Between heights[k] and heights[k + 1] an edge spans y exactly when it spans
    // heights[k]: no vertex lies in between, so "vertex above y" cannot change there.
    constexpr size_t maxEntries = 8192;
    std::vector<size_t> start{0};
    std::vector<PolygonEdge> listed;
    for (size_t k = 0; k + 1 < heights.size(); ++k) {
        for (const PolygonEdge& e : check.edges) {
            if ((e.yi > heights[k]) != (e.yj > heights[k]))
                listed.push_back(e);
        }
        if (listed.size() > maxEntries)
            return; // a long zig-zag outline: test every edge instead
        start.push_back(listed.size());
    }
    check.slabY = std::move(heights);
    check.slabStart = std::move(start);
    check.slabEdges = std::move(listed);
}

// Whether every coordinate is 0 or of a magnitude where the crossing arithmetic neither
// overflows nor loses more than the box's rounding margin to underflow.
bool moderate(double v)
{
    const double a = std::fabs(v);
    return a == 0.0 || (a >= 1e-100 && a <= 1e100);
}

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
            PolygonCheck check;
            check.x = xs->data();
            check.y = ys->data();
            check.xMode = clampScaleMode(rule.scaleXMode);
            check.yMode = clampScaleMode(rule.scaleYMode);
            check.inverted = rule.inverted;
            std::vector<PolygonVertex> vertices;
            vertices.reserve(rule.polygonVertices.size());
            for (const PolygonVertex& v : rule.polygonVertices)
                vertices.emplace_back(axisValue(v.first, check.xMode, pseudoLog),
                                      axisValue(v.second, check.yMode, pseudoLog));
            check.edges.reserve(vertices.size());
            bool moderateVertices = true;
            for (size_t i = 0, j = vertices.size() - 1; i < vertices.size(); j = i++) {
                const PolygonVertex& a = vertices[i];
                const PolygonVertex& b = vertices[j];
                check.edges.push_back({a.first, a.second, b.second, b.first - a.first, b.second - a.second});
                moderateVertices = moderateVertices && moderate(a.first) && moderate(a.second);
            }
            check.minY = vertices.front().second;
            check.maxY = check.minY;
            double minX = vertices.front().first;
            double maxX = minX;
            for (const PolygonVertex& v : vertices) {
                // fmin/fmax skip a NaN vertex; the edge loop treats it as never above.
                check.minY = std::fmin(check.minY, v.second);
                check.maxY = std::fmax(check.maxY, v.second);
                minX = std::fmin(minX, v.first);
                maxX = std::fmax(maxX, v.first);
            }
            if (moderateVertices) {
                // A computed crossing lies within a few units in the last place of its
                // edge's x extent; the margin is many orders of magnitude wider.
                const double margin = 1e-9 * (std::fabs(minX) + std::fabs(maxX));
                check.windowed = true;
                buildSlabs(check);
                check.xWindow = dataWindow(minX - margin, maxX + margin, check.xMode, pseudoLog);
                check.yWindow = dataWindow(check.minY, check.maxY, check.yMode, pseudoLog);
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
                const double rawX = check.x[event];
                const double rawY = check.y[event];
                bool inside = false;
                if (!check.windowed || (check.yWindow.contains(rawY) && check.xWindow.contains(rawX))) {
                    const double y = axisValue(rawY, check.yMode, pseudoLog);
                    if (y >= check.minY && y < check.maxY)
                        inside = check.inside(axisValue(rawX, check.xMode, pseudoLog), y);
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
        if (togglesAt(x, y, xi, yi, yj, xj - xi, yj - yi))
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
