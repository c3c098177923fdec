// Receiver operating characteristic of one feature between a negative (reference) and a
// positive (condition) class of summary values, and of a linear discriminant (LDA)
// combination of several features. Stateless free functions.
#pragma once

#include <string>
#include <vector>

namespace Tervane3 {

struct RocResult
{
    // Equal lengths; point 0 is (0, 0), the last (1, 1).
    std::vector<double> fpr;
    std::vector<double> tpr;
    std::vector<double> thresholds; // in the units of the input values
    double auc = 0.5;
    double optimalThreshold = 0.0;
    double sensitivity = 0.0; // tpr at the optimal point
    double specificity = 0.0; // 1 - fpr at the optimal point
    int positiveCount = 0;
    int negativeCount = 0;
    bool valid = false;
    // true: values at or above a threshold count as positive; false: at or below.
    bool higherIsPositive = true;
};

struct LdaRocResult
{
    RocResult roc; // of the combined scores
    std::vector<double> weights; // one per feature
    std::vector<std::string> featureKeys;
};

// Both lists non-empty. One point per distinct value, walked from the largest down (ties
// between the classes give a diagonal step); the first threshold is the largest value + 1.
// AUC by trapezoids; the optimal point is the first with the largest tpr - fpr.
RocResult buildRocCurve(const std::vector<double>& negatives, const std::vector<double>& positives);

// The curve in the direction that gives an AUC of at least 0.5: when higher values do not
// separate the positives, the curve of the negated values, with thresholds given back in
// the input's units (a zero threshold as +0). An empty list gives the default result with
// the two counts.
RocResult computeRoc(const std::vector<double>& negatives, const std::vector<double>& positives);

// negativeFeatures[i][m]: feature i of negative sample m (every feature list in the same
// sample order). The weights solve S w = muP - muN, S the pooled within-class scatter (not
// divided by a count), by Gaussian elimination with partial pivoting; a pivot below 1e-15
// (singular S) gives equal weights 1 / p. The ROC is that of the weighted sums.
LdaRocResult computeLdaRoc(const std::vector<std::vector<double>>& negativeFeatures,
                           const std::vector<std::vector<double>>& positiveFeatures,
                           const std::vector<std::string>& featureKeys);

} // namespace Tervane3
