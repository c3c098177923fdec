// ROC curves and the LDA combination.
#include "stats/RocAnalysis.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace Tervane3 {

namespace {

std::vector<double> negated(const std::vector<double>& values)
{
    std::vector<double> out(values.size());
    for (size_t i = 0; i < values.size(); ++i)
        out[i] = -values[i];
    return out;
}

// Back into the input's units; + 0.0 turns -0 into +0 so that no "-0" is ever shown.
double unNegate(double value)
{
    return -value + 0.0;
}

} // namespace

RocResult buildRocCurve(const std::vector<double>& negatives, const std::vector<double>& positives)
{
    std::vector<std::pair<double, int>> pairs;
    pairs.reserve(negatives.size() + positives.size());
    for (double v : negatives)
        pairs.emplace_back(v, 0);
    for (double v : positives)
        pairs.emplace_back(v, 1);
    // Descending; NaN after every number so the ordering stays strict and weak.
    std::sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) {
        if (std::isnan(a.first))
            return false;
        if (std::isnan(b.first))
            return true;
        return a.first > b.first;
    });

    RocResult r;
    r.negativeCount = static_cast<int>(negatives.size());
    r.positiveCount = static_cast<int>(positives.size());
    const double nNeg = static_cast<double>(negatives.size());
    const double nPos = static_cast<double>(positives.size());
    r.fpr.push_back(0.0);
    r.tpr.push_back(0.0);
    r.thresholds.push_back(pairs.empty() ? 1.0 : pairs.front().first + 1.0);
    double tp = 0.0;
    double fp = 0.0;
    size_t start = 0;
    while (start < pairs.size()) {
        // A run always advances by at least one pair (a NaN is a run of its own).
        size_t end = start + 1;
        while (end < pairs.size() && pairs[end].first == pairs[start].first)
            ++end;
        for (size_t i = start; i < end; ++i)
            (pairs[i].second == 1 ? tp : fp) += 1.0;
        r.fpr.push_back(fp / nNeg);
        r.tpr.push_back(tp / nPos);
        r.thresholds.push_back(pairs[start].first);
        start = end;
    }

    r.auc = 0.0;
    for (size_t j = 1; j < r.fpr.size(); ++j)
        r.auc += (r.fpr[j] - r.fpr[j - 1]) * (r.tpr[j - 1] + r.tpr[j]) / 2.0;
    double best = -1.0;
    size_t optimal = 0;
    for (size_t j = 0; j < r.fpr.size(); ++j) {
        const double youden = r.tpr[j] - r.fpr[j];
        if (youden > best) {
            best = youden;
            optimal = j;
        }
    }
    r.optimalThreshold = r.thresholds[optimal];
    r.sensitivity = r.tpr[optimal];
    r.specificity = 1.0 - r.fpr[optimal];
    r.valid = true;
    r.higherIsPositive = true;
    return r;
}

RocResult computeRoc(const std::vector<double>& negatives, const std::vector<double>& positives)
{
    if (negatives.empty() || positives.empty()) {
        RocResult r;
        r.negativeCount = static_cast<int>(negatives.size());
        r.positiveCount = static_cast<int>(positives.size());
        return r;
    }
    RocResult r = buildRocCurve(negatives, positives);
    if (r.auc >= 0.5)
        return r;
    RocResult flipped = buildRocCurve(negated(negatives), negated(positives));
    flipped.higherIsPositive = false;
    for (double& t : flipped.thresholds)
        t = unNegate(t);
    flipped.optimalThreshold = unNegate(flipped.optimalThreshold);
    return flipped;
}

LdaRocResult computeLdaRoc(const std::vector<std::vector<double>>& negativeFeatures,
                           const std::vector<std::vector<double>>& positiveFeatures,
                           const std::vector<std::string>& featureKeys)
{
    LdaRocResult result;
    result.featureKeys = featureKeys;
    const size_t p = featureKeys.size();
    if (p == 0 || negativeFeatures.size() < p || positiveFeatures.size() < p)
        return result;
    const size_t nN = negativeFeatures.front().size();
    const size_t nP = positiveFeatures.front().size();
    if (nN == 0 || nP == 0)
        return result;

    const auto mean = [](const std::vector<double>& v) {
        double sum = 0.0;
        for (double x : v)
            sum += x;
        return sum / static_cast<double>(v.size());
    };
    std::vector<double> muN(p), muP(p);
    for (size_t i = 0; i < p; ++i) {
        muN[i] = mean(negativeFeatures[i]);
        muP[i] = mean(positiveFeatures[i]);
    }
    // Augmented matrix [S | muP - muN].
    std::vector<std::vector<double>> a(p, std::vector<double>(p + 1, 0.0));
    for (size_t i = 0; i < p; ++i) {
        for (size_t j = 0; j < p; ++j) {
            double s = 0.0;
            for (size_t m = 0; m < nN; ++m)
                s += (negativeFeatures[i][m] - muN[i]) * (negativeFeatures[j][m] - muN[j]);
            for (size_t m = 0; m < nP; ++m)
                s += (positiveFeatures[i][m] - muP[i]) * (positiveFeatures[j][m] - muP[j]);
            a[i][j] = s;
        }
        a[i][p] = muP[i] - muN[i];
    }

    std::vector<double> w(p, 1.0 / static_cast<double>(p));
    bool singular = false;
    for (size_t c = 0; c < p && !singular; ++c) {
        size_t pivot = c;
        for (size_t r = c + 1; r < p; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[pivot][c]))
                pivot = r;
        if (!(std::fabs(a[pivot][c]) >= 1e-15)) {
            singular = true;
            break;
        }
        std::swap(a[c], a[pivot]);
        for (size_t r = c + 1; r < p; ++r) {
            const double factor = a[r][c] / a[c][c];
            for (size_t k = c; k <= p; ++k)
                a[r][k] -= factor * a[c][k];
        }
    }
    if (!singular) {
        for (size_t i = p; i-- > 0;) {
            double s = a[i][p];
            for (size_t j = i + 1; j < p; ++j)
                s -= a[i][j] * w[j];
            w[i] = s / a[i][i];
        }
    }
    result.weights = w;

    const auto scores = [&](const std::vector<std::vector<double>>& features, size_t count) {
        std::vector<double> out(count, 0.0);
        for (size_t m = 0; m < count; ++m)
            for (size_t i = 0; i < p; ++i)
                out[m] += w[i] * features[i][m];
        return out;
    };
    result.roc = computeRoc(scores(negativeFeatures, nN), scores(positiveFeatures, nP));
    return result;
}

} // namespace Tervane3
