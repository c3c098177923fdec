// ROC curves and the LDA combination against scikit-learn (run by Debian's python3) on a
// few hundred random cases: integer values with ties for the curves (roc_curve without
// dropping points, roc_auc_score, the first argmax of tpr - fpr, flipped cases on negated
// scores), continuous features for the LDA weights (solver 'lsqr', whose coefficients are
// the weights times the sample count) and the direction-corrected AUC. Skips with a
// message when that python or scikit-learn is missing.
#include "stats/RocAnalysis.h"

#include "PythonReference.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QJsonObject>

#include <cmath>
#include <random>
#include <vector>

using namespace Tervane3;

namespace {

QJsonArray array(const std::vector<double>& values)
{
    QJsonArray a;
    for (double v : values)
        a.append(v);
    return a;
}

QJsonArray matrix(const std::vector<std::vector<double>>& rows)
{
    QJsonArray a;
    for (const auto& row : rows)
        a.append(array(row));
    return a;
}

struct CurveCase
{
    std::vector<double> neg, pos;
};

struct LdaCase
{
    std::vector<std::vector<double>> neg, pos;
};

// Twice the Mann-Whitney U of the positives (ties count one half): 2U = nN nP means AUC
// exactly 0.5, where the direction depends on rounding; such cases are not drawn.
long twiceU(const CurveCase& c)
{
    long twice = 0;
    for (double p : c.pos)
        for (double n : c.neg)
            twice += p > n ? 2 : (p == n ? 1 : 0);
    return twice;
}

TEST(RocSklearnTest, CurvesAndCombinationsMatchScikitLearn)
{
    std::mt19937_64 rng(77);
    const auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<CurveCase> curves;
    while (curves.size() < 250) {
        CurveCase c;
        const int spread = uniform(2, 12);
        const int shift = uniform(-3, 3);
        for (int i = uniform(1, 15); i > 0; --i)
            c.neg.push_back(uniform(0, spread));
        for (int i = uniform(1, 15); i > 0; --i)
            c.pos.push_back(uniform(0, spread) + shift);
        if (2 * twiceU(c) != 2 * static_cast<long>(c.neg.size() * c.pos.size()))
            curves.push_back(c);
    }
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<LdaCase> ldas;
    for (int k = 0; k < 60; ++k) {
        const int p = uniform(2, 4);
        const int nN = uniform(p + 2, 15);
        const int nP = uniform(p + 2, 15);
        LdaCase c;
        for (int f = 0; f < p; ++f) {
            std::vector<double> neg, pos;
            for (int m = 0; m < nN; ++m)
                neg.push_back(normal(rng) * (f + 1));
            for (int m = 0; m < nP; ++m)
                pos.push_back(normal(rng) * (f + 1) + 0.7 * f - 0.5);
            c.neg.push_back(neg);
            c.pos.push_back(pos);
        }
        ldas.push_back(c);
    }

    QJsonArray input;
    for (const CurveCase& c : curves)
        input.append(QJsonObject{{"kind", "roc"}, {"neg", array(c.neg)}, {"pos", array(c.pos)}});
    for (const LdaCase& c : ldas)
        input.append(QJsonObject{{"kind", "lda"}, {"neg", matrix(c.neg)}, {"pos", matrix(c.pos)}});
    const Tervane3::Test::PythonResult reference
        = Tervane3::Test::runPythonReference(QStringLiteral(ROC_REFERENCE_SCRIPT), input);
    if (!reference.skipReason.isEmpty())
        GTEST_SKIP() << reference.skipReason.toStdString();
    ASSERT_TRUE(reference.failure.isEmpty()) << reference.failure.toStdString();
    ASSERT_EQ(reference.output.size(), input.size());

    for (size_t i = 0; i < curves.size(); ++i) {
        SCOPED_TRACE("curve case " + std::to_string(i));
        const QJsonObject expected = reference.output.at(static_cast<int>(i)).toObject();
        const RocResult r = computeRoc(curves[i].neg, curves[i].pos);
        const QJsonArray fpr = expected.value("fpr").toArray();
        const QJsonArray tpr = expected.value("tpr").toArray();
        const QJsonArray thresholds = expected.value("thresholds").toArray();
        ASSERT_EQ(r.fpr.size(), static_cast<size_t>(fpr.size()));
        EXPECT_EQ(r.higherIsPositive, expected.value("higherIsPositive").toBool());
        for (int j = 0; j < fpr.size(); ++j) {
            EXPECT_NEAR(r.fpr[static_cast<size_t>(j)], fpr.at(j).toDouble(), 1e-12) << j;
            EXPECT_NEAR(r.tpr[static_cast<size_t>(j)], tpr.at(j).toDouble(), 1e-12) << j;
            if (!thresholds.at(j).isNull()) {
                EXPECT_EQ(r.thresholds[static_cast<size_t>(j)], thresholds.at(j).toDouble()) << j;
            }
        }
        // Newer versions than 1.2 write infinity first instead of the largest value + 1.
        if (thresholds.at(0).isNull()) {
            EXPECT_FALSE(expected.value("version").toString().startsWith(QStringLiteral("1.2")));
        }
        EXPECT_NEAR(r.auc, expected.value("auc").toDouble(), 1e-12);
        const size_t optimal = static_cast<size_t>(expected.value("optimal").toInt());
        EXPECT_EQ(r.optimalThreshold, r.thresholds[optimal]);
        EXPECT_EQ(r.sensitivity, r.tpr[optimal]);
        EXPECT_EQ(r.specificity, 1.0 - r.fpr[optimal]);
    }
    for (size_t i = 0; i < ldas.size(); ++i) {
        SCOPED_TRACE("LDA case " + std::to_string(i));
        const QJsonObject expected = reference.output.at(static_cast<int>(curves.size() + i)).toObject();
        std::vector<std::string> keys(ldas[i].neg.size(), "f");
        const LdaRocResult lda = computeLdaRoc(ldas[i].neg, ldas[i].pos, keys);
        const double n = static_cast<double>(ldas[i].neg.front().size() + ldas[i].pos.front().size());
        const QJsonArray coef = expected.value("coef").toArray();
        ASSERT_EQ(lda.weights.size(), static_cast<size_t>(coef.size()));
        for (int f = 0; f < coef.size(); ++f)
            EXPECT_NEAR_REL(n * lda.weights[static_cast<size_t>(f)], coef.at(f).toDouble(), 1e-9) << f;
        EXPECT_NEAR(lda.roc.auc, expected.value("auc").toDouble(), 1e-12);
    }
}

} // namespace
