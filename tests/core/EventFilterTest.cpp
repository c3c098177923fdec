// The event filter: rule combinations, range and polygon checks, scale modes of polygon
// gates, the rule list operations, and FilterRule as the argument of a queued signal.
#include "core/EventFilter.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QTimer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <thread>

using namespace Tervane3;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

FilterRule rangeRule(const std::string& feature, double lo, double hi, bool inverted = false,
                     bool enabled = true)
{
    FilterRule rule;
    rule.type = RangeRule;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    rule.inverted = inverted;
    rule.enabled = enabled;
    return rule;
}

FilterRule polygonRule(const std::string& fx, const std::string& fy,
                       std::vector<PolygonVertex> vertices, int xMode = 0, int yMode = 0,
                       bool inverted = false)
{
    FilterRule rule;
    rule.type = PolygonRule;
    rule.featureName = fx;
    rule.featureNameY = fy;
    rule.polygonVertices = std::move(vertices);
    rule.scaleXMode = xMode;
    rule.scaleYMode = yMode;
    rule.inverted = inverted;
    return rule;
}

std::vector<int> allIndices(int n)
{
    std::vector<int> out(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        out[static_cast<size_t>(i)] = i;
    return out;
}

// Ten events; a = 0..9, b = 9..0.
struct Columns
{
    std::vector<double> a{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::vector<double> b{9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    FeatureColumnMap map() const { return {{"a", &a}, {"b", &b}}; }
};

} // namespace

TEST(EventFilter, CombinesRangeRules)
{
    const struct {
        const char* name;
        std::vector<FilterRule> rules;
        int mode;
        std::vector<int> expected;
    } cases[] = {
        {"no rules, mode 1 keeps all", {}, 1, allIndices(10)},
        {"bounds are inclusive", {rangeRule("a", 2, 5)}, 0, {2, 3, 4, 5}},
        {"min above max keeps none", {rangeRule("a", 5, 2)}, 0, {}},
        {"two rules intersect", {rangeRule("a", 2, 7), rangeRule("b", 0, 5)}, 0, {4, 5, 6, 7}},
        {"inverted rule", {rangeRule("a", 2, 7, true)}, 0, {0, 1, 8, 9}},
        {"inverted and plain", {rangeRule("a", 2, 7, true), rangeRule("b", 1, 9)}, 0, {0, 1, 8}},
        {"disabled rule ignored", {rangeRule("a", 2, 7), rangeRule("b", 0, 0, false, false)}, 0,
         {2, 3, 4, 5, 6, 7}},
        {"all disabled keeps all in mode 1", {rangeRule("a", 2, 7, false, false)}, 1,
         allIndices(10)},
        {"mode 1: fails at least one", {rangeRule("a", 2, 7), rangeRule("b", 0, 5)}, 1,
         {0, 1, 2, 3, 8, 9}},
        {"any non-zero mode shows the excluded", {rangeRule("a", 2, 7)}, 5, {0, 1, 8, 9}},
        {"missing column ignored", {rangeRule("zzz", 100, 200), rangeRule("a", 8, 9)}, 0, {8, 9}},
        {"unknown type inert", {[] {
             FilterRule r = rangeRule("a", 100, 200);
             r.type = 7;
             return r;
         }()},
         0, allIndices(10)},
    };
    const Columns columns;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EventFilter filter;
        for (const FilterRule& rule : c.rules)
            filter.addRule(rule);
        filter.setCombineMode(c.mode);
        EXPECT_EQ(filter.apply(columns.map(), 10), c.expected);
    }
}

TEST(EventFilter, ShortOrNullColumnsMakeARuleUnusable)
{
    Columns columns;
    const std::vector<double> shortColumn{0, 1, 2};
    FeatureColumnMap map = columns.map();
    map["short"] = &shortColumn;
    map["null"] = nullptr;

    EventFilter filter;
    filter.addRule(rangeRule("short", 0, 0));
    filter.addRule(rangeRule("null", 0, 0));
    filter.addRule(polygonRule("a", "short", {{0, 0}, {10, 0}, {10, 10}}));
    EXPECT_EQ(filter.apply(map, 10), allIndices(10));
    filter.addRule(rangeRule("a", 0, 1));
    EXPECT_EQ(filter.apply(map, 10), (std::vector<int>{0, 1}));
}

TEST(EventFilter, NaNValuesAndBounds)
{
    const std::vector<double> v{1.0, kNaN, 3.0};
    const FeatureColumnMap map{{"v", &v}};
    EventFilter filter;
    filter.addRule(rangeRule("v", 0, 5));
    EXPECT_EQ(filter.apply(map, 3), (std::vector<int>{0, 2}));
    filter.updateRule(0, rangeRule("v", 0, 5, true));
    EXPECT_EQ(filter.apply(map, 3), (std::vector<int>{1}));
    filter.updateRule(0, rangeRule("v", kNaN, 5));
    EXPECT_EQ(filter.apply(map, 3), (std::vector<int>{}));
}

TEST(EventFilter, ApplyIgnoresTheSwitch)
{
    const Columns columns;
    EventFilter filter;
    filter.addRule(rangeRule("a", 0, 1));
    filter.setEnabled(false);
    EXPECT_FALSE(filter.isEnabled());
    EXPECT_EQ(filter.apply(columns.map(), 10), (std::vector<int>{0, 1}));
}

TEST(EventFilter, ModeOneIsTheComplementOfModeZero)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> a(500), b(500);
    for (size_t i = 0; i < a.size(); ++i) {
        a[i] = u(rng);
        b[i] = u(rng);
    }
    const FeatureColumnMap map{{"a", &a}, {"b", &b}};
    EventFilter filter;
    filter.addRule(rangeRule("a", 0.2, 0.8));
    filter.addRule(polygonRule("a", "b", {{0.1, 0.1}, {0.9, 0.2}, {0.5, 0.9}}, 0, 0, true));
    const std::vector<int> kept = filter.apply(map, a.size());
    filter.setCombineMode(CombineShowExcluded);
    const std::vector<int> excluded = filter.apply(map, a.size());
    std::vector<char> seen(a.size(), 0);
    for (const int i : kept)
        seen[static_cast<size_t>(i)]++;
    for (const int i : excluded)
        seen[static_cast<size_t>(i)]++;
    EXPECT_EQ(kept.size() + excluded.size(), a.size());
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](char s) { return s == 1; }));
    EXPECT_TRUE(std::is_sorted(excluded.begin(), excluded.end()));
}

TEST(EventFilter, PolygonGates)
{
    // Triangle (0,0) (4,0) (0,4): events with x, y > 0 and x + y < 4 are inside.
    const std::vector<double> x{1, 1, 3, 2, -1, 0.5};
    const std::vector<double> y{1, 2.5, 2, 0.5, 1, 3.4};
    const FeatureColumnMap map{{"x", &x}, {"y", &y}};
    const std::vector<PolygonVertex> triangle{{0, 0}, {4, 0}, {0, 4}};

    EventFilter filter;
    filter.addRule(polygonRule("x", "y", triangle));
    EXPECT_EQ(filter.apply(map, 6), (std::vector<int>{0, 1, 3, 5}));

    filter.updateRule(0, polygonRule("x", "y", triangle, 0, 0, true));
    EXPECT_EQ(filter.apply(map, 6), (std::vector<int>{2, 4}));

    // Two vertices make no gate.
    filter.updateRule(0, polygonRule("x", "y", {{0, 0}, {4, 0}}));
    EXPECT_EQ(filter.apply(map, 6), allIndices(6));
}

TEST(EventFilter, PolygonOnALogarithmicAxis)
{
    // Drawn on a log x axis: x <= 0 lies at 0 there (ln 1), like x = 1.
    const std::vector<double> x{-5.0, 0.0, 1.0, 0.5, 10.0, 1000.0};
    const std::vector<double> y{0.5, 0.5, 0.5, 0.5, 0.5, 0.5};
    const FeatureColumnMap map{{"x", &x}, {"y", &y}};
    EventFilter filter;
    // ln-space square from x = 0.9 .. 100 (ln -0.105 .. 4.6), y 0 .. 1 linear.
    filter.addRule(polygonRule("x", "y", {{0.9, 0.0}, {100.0, 0.0}, {100.0, 1.0}, {0.9, 1.0}}, 1, 0));
    EXPECT_EQ(filter.apply(map, 6), (std::vector<int>{0, 1, 2, 4}));

    // A vertex at x <= 0 also sits at 0: the gate drawn from -3 to 2 covers ln-x 0 .. ln 2,
    // so x = 0.5 (ln -0.69) is outside although -3 < 0.5 < 2. The events at 0 lie on the
    // gate's left edge, which does not toggle, while the right edge does.
    filter.updateRule(0, polygonRule("x", "y", {{-3.0, 0.0}, {2.0, 0.0}, {2.0, 1.0}, {-3.0, 1.0}}, 1, 0));
    EXPECT_EQ(filter.apply(map, 6), (std::vector<int>{0, 1, 2}));
}

TEST(EventFilter, PolygonOnAPseudoLogarithmicAxis)
{
    // Pseudo-log y: 1000 -> 1.5, -1000 -> -1.5, 50 -> 0.25. The gate spans axis units
    // 0.2 .. 1.6 in y, which in data units is 40 .. 1258.9.
    const std::vector<double> x{0.5, 0.5, 0.5, 0.5, 0.5};
    const std::vector<double> y{30.0, 50.0, 1000.0, 1300.0, -1000.0};
    const FeatureColumnMap map{{"x", &x}, {"y", &y}};
    EventFilter filter;
    filter.addRule(polygonRule("x", "y", {{0, 40.0}, {1, 40.0}, {1, 1258.9}, {0, 1258.9}}, 0, 2));
    EXPECT_EQ(filter.apply(map, 5), (std::vector<int>{1, 2}));
}

// The polygon checks skip events by a data-space window around the gate and test each
// point against the edges of its horizontal slab only; both must give exactly the answer of
// the plain even-odd test on transformed values, also for events on vertices, on the
// window's bounds, at zero and at non-finite values, on every combination of axis modes.
TEST(EventFilter, PolygonShortcutsGiveExactlyThePlainAnswer)
{
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<PolygonVertex> drawn;
    for (int k = 0; k < 24; ++k) {
        const double angle = 2.0 * M_PI * k / 24.0;
        const double r = 1.0 + 0.08 * std::sin(3.0 * angle);
        drawn.emplace_back(60.0 + 25.0 * r * std::cos(angle), 0.022 + 0.01 * r * std::sin(angle));
    }
    const struct
    {
        const char* name;
        std::vector<PolygonVertex> vertices;
    } gates[] = {
        {"triangle across zero", {{-50, -20}, {300, 10}, {40, 5000}}},
        {"drawn outline", drawn},
        // Repeated heights, horizontal edges and a concave comb.
        {"comb", {{0, 0}, {10, 0}, {10, 5}, {8, 5}, {8, 1}, {6, 1}, {6, 5}, {4, 5}, {4, 1}, {2, 1}, {2, 5}, {0, 5}}},
        {"pseudo-log band edges", {{-100, -100}, {100, -100}, {1000, 100}, {0, 100000}, {-1000, 100}}},
        {"zero height", {{1, 2}, {5, 2}, {3, 2}}},
        {"NaN vertex", {{1, 1}, {kNaN, 4}, {5, 1}, {5, 6}}},
        {"infinite vertex", {{1, 1}, {inf, 4}, {5, 6}}},
        {"huge coordinates", {{-1e200, -1e200}, {1e200, 0}, {0, 1e200}}},
        {"tiny coordinates", {{1e-120, 1e-120}, {3e-120, 1e-120}, {2e-120, 5e-120}}},
    };

    for (const auto& gate : gates) {
        SCOPED_TRACE(gate.name);
        // Values of interest on each axis: the vertices and their neighbours, points between
        // them, zero, signs and the non-finite values; every x paired with every y.
        std::vector<double> xs{0.0, -0.0, -1.0, 1.0, 1e-300, 1e300, kNaN, inf, -inf};
        std::vector<double> ys = xs;
        for (const PolygonVertex& v : gate.vertices) {
            for (const auto& [value, list] : {std::pair{v.first, &xs}, std::pair{v.second, &ys}}) {
                list->insert(list->end(), {value, std::nextafter(value, -inf), std::nextafter(value, inf),
                                           value * 0.5, value * 1.5, -value});
            }
        }
        std::mt19937 rng(7);
        const auto spread = [&rng](const std::vector<double>& values) {
            std::vector<double> finite;
            for (const double v : values)
                if (std::isfinite(v) && std::fabs(v) < 1e299)
                    finite.push_back(v);
            const double lo = *std::min_element(finite.begin(), finite.end());
            const double hi = *std::max_element(finite.begin(), finite.end());
            std::uniform_real_distribution<double> u(lo - 0.2 * (hi - lo), hi + 0.2 * (hi - lo));
            std::vector<double> out;
            for (int i = 0; i < 60; ++i)
                out.push_back(u(rng));
            return out;
        };
        const std::vector<double> moreX = spread(xs);
        const std::vector<double> moreY = spread(ys);
        xs.insert(xs.end(), moreX.begin(), moreX.end());
        ys.insert(ys.end(), moreY.begin(), moreY.end());
        std::vector<double> x;
        std::vector<double> y;
        for (const double a : xs)
            for (const double b : ys) {
                x.push_back(a);
                y.push_back(b);
            }
        const FeatureColumnMap map{{"x", &x}, {"y", &y}};

        for (int xMode = 0; xMode <= 2; ++xMode) {
            for (int yMode = 0; yMode <= 2; ++yMode) {
                SCOPED_TRACE(std::to_string(xMode) + "/" + std::to_string(yMode));
                std::vector<PolygonVertex> transformed;
                for (const PolygonVertex& v : gate.vertices)
                    transformed.emplace_back(transformAxisValue(v.first, xMode), transformAxisValue(v.second, yMode));
                std::vector<int> expected;
                for (size_t i = 0; i < x.size(); ++i) {
                    if (pointInPolygon(transformAxisValue(x[i], xMode), transformAxisValue(y[i], yMode), transformed))
                        expected.push_back(static_cast<int>(i));
                }
                EventFilter filter;
                filter.addRule(polygonRule("x", "y", gate.vertices, xMode, yMode));
                EXPECT_EQ(filter.apply(map, x.size()), expected);
            }
        }
    }
}

TEST(EventFilter, TransformAxisValue)
{
    EXPECT_DOUBLE_EQ(transformAxisValue(std::exp(2.0), 1), 2.0);
    EXPECT_EQ(transformAxisValue(0.0, 1), 0.0);
    EXPECT_EQ(transformAxisValue(-4.0, 1), 0.0);
    EXPECT_EQ(transformAxisValue(kNaN, 1), 0.0);
    EXPECT_DOUBLE_EQ(transformAxisValue(1000.0, 2), 1.5);
    EXPECT_EQ(transformAxisValue(-7.5, 0), -7.5);
    EXPECT_EQ(transformAxisValue(1000.0, 3), transformAxisValue(1000.0, 2));
}

TEST(PointInPolygon, StrictEvenOddRule)
{
    const std::vector<PolygonVertex> square{{0, 0}, {2, 0}, {2, 2}, {0, 2}};
    const struct {
        double x, y;
        bool inside;
    } cases[] = {
        {1, 1, true},
        {3, 1, false},
        {1, 0, true},    // the bottom vertices sit at the point's y: they count as below it
        {1, 2, false},   // the top edge: no vertex above the point
        {0, 1, true},    // the left edge crosses at the point's x: no toggle there, the right does
        {2, 1, false},   // the right edge crosses exactly at x: no toggle
        {kNaN, 1, false},
        {1, kNaN, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        EXPECT_EQ(pointInPolygon(c.x, c.y, square), c.inside);
    }
    EXPECT_FALSE(pointInPolygon(1, 1, {}));
    // A concave polygon: the notch is outside.
    const std::vector<PolygonVertex> notch{{0, 0}, {4, 0}, {4, 4}, {2, 1}, {0, 4}};
    EXPECT_FALSE(pointInPolygon(2, 3, notch));
    EXPECT_TRUE(pointInPolygon(1, 2, notch));
}

TEST(EventFilter, RuleListOperations)
{
    EventFilter filter;
    EXPECT_EQ(filter.ruleCount(), 0);
    EXPECT_EQ(filter.combineMode(), 0);
    EXPECT_TRUE(filter.isEnabled());
    filter.addRule(rangeRule("a", 0, 1));
    filter.addRule(rangeRule("b", 0, 1));
    filter.addRule(rangeRule("c", 0, 1));
    const EventFilter before = filter;

    for (const int bad : {-1, 3}) {
        filter.updateRule(bad, rangeRule("z", 0, 1));
        filter.removeRule(bad);
        EXPECT_EQ(filter, before);
    }
    filter.updateRule(1, rangeRule("B", 2, 3));
    EXPECT_EQ(filter.rules[1].featureName, "B");
    filter.removeRule(0);
    ASSERT_EQ(filter.ruleCount(), 2);
    EXPECT_EQ(filter.rules[0].featureName, "B");
    EXPECT_EQ(filter.rules[1].featureName, "c");
    filter.setCombineMode(1);
    filter.setEnabled(false);
    filter.clearRules();
    EXPECT_EQ(filter.ruleCount(), 0);
    EXPECT_EQ(filter.combineMode(), 1);
    EXPECT_FALSE(filter.isEnabled());
}

TEST(FilterRule, EqualityComparesEveryField)
{
    const FilterRule base = polygonRule("x", "y", {{0, 0}, {1, 0}, {kNaN, 1}}, 1, 2);
    FilterRule copy = base;
    EXPECT_EQ(copy, base); // NaN values compare equal to themselves here
    copy.minValue = kNaN;
    EXPECT_NE(copy, base);
    FilterRule withNaN = base;
    withNaN.minValue = kNaN;
    EXPECT_EQ(copy, withNaN);
    const std::vector<std::function<void(FilterRule&)>> changes{
        [](FilterRule& r) { r.type = RangeRule; },
        [](FilterRule& r) { r.featureName = "z"; },
        [](FilterRule& r) { r.featureNameY = "z"; },
        [](FilterRule& r) { r.maxValue = 1; },
        [](FilterRule& r) { r.polygonVertices.pop_back(); },
        [](FilterRule& r) { r.polygonVertices[0].second = 0.5; },
        [](FilterRule& r) { r.scaleXMode = 0; },
        [](FilterRule& r) { r.scaleYMode = 0; },
        [](FilterRule& r) { r.enabled = false; },
        [](FilterRule& r) { r.inverted = true; },
        [](FilterRule& r) { r.propagationId = "p"; },
    };
    for (size_t c = 0; c < changes.size(); ++c) {
        FilterRule changed = base;
        changes[c](changed);
        EXPECT_NE(changed, base) << c;
    }
}

TEST(EventFilter, UsedFeatureNames)
{
    EventFilter filter;
    filter.addRule(rangeRule("deform", 0, 1));
    filter.addRule(polygonRule("area_um", "deform", {{0, 0}, {1, 0}, {1, 1}}));
    filter.addRule(rangeRule("bright_avg", 0, 1, false, false)); // disabled
    filter.addRule(polygonRule("fl1_max", "fl2_max", {{0, 0}, {1, 0}, {1, 1}}));
    filter.addRule(rangeRule("area_um", 0, 1));
    FilterRule rangeWithY = rangeRule("porosity", 0, 1);
    rangeWithY.featureNameY = "ignored";
    filter.addRule(rangeWithY);
    EXPECT_EQ(filter.usedFeatureNames(),
              (std::vector<std::string>{"deform", "area_um", "fl1_max", "fl2_max", "porosity"}));
}

TEST(EventFilter, ChunkedEvaluationMatchesAPlainLoop)
{
    // Enough events for several parallel chunks; the reference is the rule-by-rule loop.
    const size_t n = 300000;
    std::mt19937 rng(42);
    std::lognormal_distribution<double> area(std::log(60.0), 0.3);
    std::gamma_distribution<double> deform(4.0, 0.005);
    std::normal_distribution<double> fl(500.0, 2000.0);
    std::vector<double> a(n), d(n), f(n);
    for (size_t i = 0; i < n; ++i) {
        a[i] = area(rng);
        d[i] = deform(rng);
        f[i] = fl(rng);
    }
    d[17] = kNaN;
    const FeatureColumnMap map{{"area_um", &a}, {"deform", &d}, {"fl1_max", &f}};
    EventFilter filter;
    filter.addRule(rangeRule("area_um", 30.0, 120.0));
    filter.addRule(rangeRule("deform", 0.005, 0.05));
    filter.addRule(rangeRule("fl1_max", -100.0, 100.0, true));
    filter.addRule(polygonRule("area_um", "fl1_max",
                               {{35, -500}, {110, -800}, {100, 5000}, {60, 9000}, {40, 800}}, 1, 2));

    for (const int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        filter.setCombineMode(mode);
        std::vector<int> expected;
        for (size_t i = 0; i < n; ++i) {
            bool pass = true;
            for (const FilterRule& rule : filter.rules) {
                bool inside;
                if (rule.type == RangeRule) {
                    const double v = map.at(rule.featureName)->at(i);
                    inside = v >= rule.minValue && v <= rule.maxValue;
                } else {
                    std::vector<PolygonVertex> t;
                    for (const auto& p : rule.polygonVertices)
                        t.emplace_back(transformAxisValue(p.first, rule.scaleXMode),
                                       transformAxisValue(p.second, rule.scaleYMode));
                    inside = pointInPolygon(transformAxisValue(a[i], rule.scaleXMode),
                                            transformAxisValue(f[i], rule.scaleYMode), t);
                }
                if (inside == rule.inverted) {
                    pass = false;
                    break;
                }
            }
            if (pass == (mode == 0))
                expected.push_back(static_cast<int>(i));
        }
        EXPECT_EQ(filter.apply(map, n), expected);
    }
}

namespace Tervane3 {
namespace {

// Declared the way the filter panel declares its signal.
class RuleSender : public QObject
{
    Q_OBJECT
public:
    void send(const FilterRule& rule, const EventFilter& filter) { emit groupRuleChanged(3, 4, rule, filter); }
signals:
    void groupRuleChanged(int group, int index, FilterRule rule, EventFilter filter);
};

} // namespace
} // namespace Tervane3

TEST(FilterRuleMetaType, TravelsThroughAQueuedSignal)
{
    registerFilterMetaTypes();
    registerFilterMetaTypes(); // a second call is harmless
    EXPECT_NE(QMetaType::type("FilterRule"), 0);
    EXPECT_NE(QMetaType::type("Tervane3::FilterRule"), 0);
    EXPECT_NE(QMetaType::type("EventFilter"), 0);

    FilterRule rule = polygonRule("area_um", "deform", {{1, 2}, {3, 4}, {5, 0.5}}, 1, 2, true);
    rule.propagationId = "p-17";
    rule.enabled = false;
    EventFilter filter;
    filter.addRule(rule);
    filter.setCombineMode(1);

    // A queued connection copies the arguments through the meta-type system and delivers
    // them from the event loop, as it does between threads. (No second thread here: the
    // thread sanitizer cannot see into the event queue of an uninstrumented Qt.)
    Tervane3::RuleSender sender;
    QObject receiver;
    FilterRule received;
    EventFilter receivedFilter;
    int calls = 0;
    QObject::connect(&sender, &Tervane3::RuleSender::groupRuleChanged, &receiver,
                     [&](int group, int index, FilterRule r, EventFilter f) {
                         EXPECT_EQ(group, 3);
                         EXPECT_EQ(index, 4);
                         received = r;
                         receivedFilter = f;
                         ++calls;
                     },
                     Qt::QueuedConnection);
    sender.send(rule, filter);
    rule.propagationId = "changed after sending";
    EXPECT_EQ(calls, 0);

    QElapsedTimer timer;
    timer.start();
    while (calls == 0 && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    ASSERT_EQ(calls, 1);
    EXPECT_EQ(received.propagationId, "p-17");
    rule.propagationId = "p-17";
    EXPECT_EQ(received, rule);
    EXPECT_EQ(receivedFilter, filter);

    // By name, as string-based connections and QVariant look it up.
    const QVariant variant(QMetaType::type("FilterRule"), &rule);
    EXPECT_EQ(variant.value<FilterRule>(), rule);
}

TEST(EventFilter, SeveralThreadsEvaluateOneFilter)
{
    const size_t n = 200000;
    std::mt19937 rng(3);
    std::normal_distribution<double> fl(300.0, 3000.0);
    std::vector<double> a(n), b(n);
    for (size_t i = 0; i < n; ++i) {
        a[i] = fl(rng);
        b[i] = fl(rng);
    }
    const FeatureColumnMap map{{"fl1", &a}, {"fl2", &b}};
    EventFilter filter;
    filter.addRule(rangeRule("fl1", -1000.0, 8000.0));
    filter.addRule(polygonRule("fl1", "fl2", {{-500, -500}, {5000, -200}, {6000, 7000}, {-300, 2000}}, 2, 2));
    const std::vector<int> expected = filter.apply(map, n);

    std::vector<std::vector<int>> results(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < results.size(); ++t)
        threads.emplace_back([&, t] { results[t] = filter.apply(map, n); });
    for (std::thread& thread : threads)
        thread.join();
    for (const auto& result : results)
        EXPECT_EQ(result, expected);
}

#include "EventFilterTest.moc"
