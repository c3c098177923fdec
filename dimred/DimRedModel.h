// The robust standardiser (median centre, scaled median absolute deviation with fallbacks)
// and the two-component principal component analysis built on it, with the small
// symmetric eigen-solver and the selection median they use. Plain computation on the
// caller's thread; a fitted model is shared read-only.
#pragma once

#include "dimred/DimRedMatrix.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Tervane3 {

struct RobustScaler
{
    std::vector<double> center;                  // median per feature
    std::vector<double> scale;                   // divisor per feature, > 0 when fitted
    std::vector<std::string> degenerateFeatures; // features without any spread (scale 1)
};

struct DimRedModel
{
    std::vector<std::string> features;
    std::vector<double> center;
    std::vector<double> scale;
    std::vector<double> component1;
    std::vector<double> component2;
    double explained1 = 0.0;
    double explained2 = 0.0;
    uint64_t fitEventCount = 0;
    std::vector<std::string> degenerateFeatures;
    bool fitted = false;

    // Empty record when X has no rows or columns or the names do not match its columns.
    static RobustScaler fitScaler(const DimRedMatrix& X, const std::vector<std::string>& features);
    // (X - center) / scale per element; the empty matrix when the scaler does not match X.
    // Non-finite values are carried through.
    static DimRedMatrix standardize(const RobustScaler& scaler, const DimRedMatrix& X);
    // Two principal components of the standardised rows; unfitted unless X has more than
    // one column, more than two rows and one name per column. X must be finite.
    static DimRedModel fitPca(const DimRedMatrix& X, const std::vector<std::string>& features);

    // Scores of raw rows on the two components: NaN for a row with a non-finite value and
    // for every row when the model is unfitted or does not match X.
    void project(const DimRedMatrix& X, std::vector<double>& dim1, std::vector<double>& dim2) const;
};

// Cyclic Jacobi eigen-decomposition of a symmetric n x n row-major matrix (overwritten):
// eigenvalues in diagonal order, eigenvectors as the columns of an n x n row-major matrix.
void jacobiEigenSymmetric(std::vector<double>& matrix, int n, std::vector<double>& eigenvalues,
                          std::vector<double>& eigenvectors);

// Median by selection (reorders the values): 0 for none, the mean of the two middle
// values for an even count.
double medianInPlace(std::vector<double>& values);

} // namespace Tervane3
