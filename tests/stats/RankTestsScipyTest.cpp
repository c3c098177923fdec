// The rank tests against scipy.stats on a few hundred random tie-free cases (run by
// Debian's python3): Friedman (k = 2 by chi2.sf), Kruskal-Wallis, Mann-Whitney U
// (method="auto": exact up to 8 values in the smaller list, else asymptotic without
// continuity correction; U taken as the smaller of the two), Wilcoxon (method="auto":
// exact up to 50 differences, else the normal approximation without correction) and the
// upper incomplete gamma function. Skips with a message when that python or scipy is
// missing.
#include "stats/RankTests.h"

#include "PythonReference.h"

#include <gtest/gtest.h>

#include <QJsonObject>

#include <cmath>
#include <random>
#include <vector>

using namespace Tervane3;

namespace {

struct Case
{
    QString kind;
    std::vector<std::vector<double>> lists;
};

QJsonArray toJson(const std::vector<Case>& cases)
{
    QJsonArray array;
    for (const Case& c : cases) {
        QJsonArray lists;
        for (const auto& list : c.lists) {
            QJsonArray values;
            for (double v : list)
                values.append(v);
            lists.append(values);
        }
        array.append(QJsonObject{{QStringLiteral("kind"), c.kind}, {QStringLiteral("lists"), lists}});
    }
    return array;
}

std::vector<Case> randomCases()
{
    std::mt19937_64 rng(20240611);
    std::uniform_real_distribution<double> value(-10.0, 10.0);
    const auto size = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const auto list = [&](int n) {
        std::vector<double> v(static_cast<size_t>(n));
        for (double& x : v)
            x = value(rng);
        return v;
    };
    std::vector<Case> cases;
    for (int i = 0; i < 80; ++i) {
        const int k = size(2, 5);
        const int n = size(3, 12);
        Case c{QStringLiteral("friedman"), {}};
        for (int j = 0; j < k; ++j)
            c.lists.push_back(list(n));
        cases.push_back(c);
    }
    for (int i = 0; i < 80; ++i) {
        Case c{QStringLiteral("kruskal"), {}};
        const int k = size(2, 5);
        for (int j = 0; j < k; ++j)
            c.lists.push_back(list(size(3, 10)));
        cases.push_back(c);
    }
    for (int i = 0; i < 80; ++i)
        cases.push_back({QStringLiteral("mannwhitney"), {list(size(3, 20)), list(size(3, 20))}});
    for (int i = 0; i < 80; ++i)
        cases.push_back({QStringLiteral("wilcoxon"), {list(size(3, 60))}});
    std::uniform_real_distribution<double> x(0.01, 40.0);
    for (int i = 0; i < 60; ++i)
        cases.push_back({QStringLiteral("gamma"), {{0.5 * size(1, 6), x(rng)}}});
    return cases;
}

RankTestResult compute(const Case& c)
{
    if (c.kind == QLatin1String("friedman"))
        return friedmanTest(c.lists);
    if (c.kind == QLatin1String("kruskal"))
        return kruskalWallisTest(c.lists);
    if (c.kind == QLatin1String("mannwhitney"))
        return mannWhitneyUTest(c.lists[0], c.lists[1]);
    if (c.kind == QLatin1String("wilcoxon"))
        return wilcoxonSignedRankTest(c.lists[0]);
    return {0.0, upperIncompleteGammaQ(c.lists[0][0], c.lists[0][1]), true};
}

TEST(RankTestsScipyTest, RandomTieFreeCasesMatchScipy)
{
    const std::vector<Case> cases = randomCases();
    const Tervane3::Test::PythonResult reference = Tervane3::Test::runPythonReference(QStringLiteral(RANK_REFERENCE_SCRIPT), toJson(cases));
    if (!reference.skipReason.isEmpty())
        GTEST_SKIP() << reference.skipReason.toStdString();
    ASSERT_TRUE(reference.failure.isEmpty()) << reference.failure.toStdString();
    ASSERT_EQ(reference.output.size(), static_cast<int>(cases.size()));
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].kind.toStdString() + " case " + std::to_string(i));
        const QJsonObject expected = reference.output.at(static_cast<int>(i)).toObject();
        const RankTestResult actual = compute(cases[i]);
        ASSERT_TRUE(actual.valid);
        const double statistic = expected.value(QStringLiteral("statistic")).toDouble();
        EXPECT_NEAR(actual.statistic, statistic, 1e-12 * std::max(1.0, std::fabs(statistic)));
        EXPECT_NEAR(actual.pValue, expected.value(QStringLiteral("p")).toDouble(), 1e-12);
    }
}

} // namespace
