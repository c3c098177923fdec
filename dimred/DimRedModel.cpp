// Robust standardiser and PCA. The covariance is accumulated in fixed blocks of rows whose
// partial sums are added in block order, so the result does not depend on the number of
// threads. The components are those of the covariance of the standardised rows about
// their mean: centring on the median would tilt the axes of skewed features.
#include "dimred/DimRedModel.h"

#include "core/ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace Tervane3 {

namespace {

constexpr size_t kRowBlock = 16384;
constexpr double kMadToSd = 1.4826;

bool positive(double v) { return v > 0.0; } // false for NaN

} // namespace

double medianInPlace(std::vector<double>& values)
{
    const size_t n = values.size();
    if (n == 0)
        return 0.0;
    const auto mid = values.begin() + static_cast<std::ptrdiff_t>(n / 2);
    std::nth_element(values.begin(), mid, values.end());
    const double upper = *mid;
    if (n % 2 == 1)
        return upper;
    const double lower = *std::max_element(values.begin(), mid);
    return 0.5 * (lower + upper);
}

RobustScaler DimRedModel::fitScaler(const DimRedMatrix& X, const std::vector<std::string>& features)
{
    RobustScaler scaler;
    if (X.rows == 0 || X.cols == 0 || X.cols != features.size() || X.data.size() < X.rows * X.cols)
        return scaler;
    const size_t rows = X.rows;
    const size_t cols = X.cols;
    scaler.center.assign(cols, 0.0);
    scaler.scale.assign(cols, 1.0);
    std::vector<char> degenerate(cols, 0);
    // Columns are independent: one per task.
    parallelFor(cols, 1, [&](size_t begin, size_t end) {
        std::vector<double> work(rows);
        for (size_t c = begin; c < end; ++c) {
            for (size_t r = 0; r < rows; ++r)
                work[r] = X.data[r * cols + c];
            const double center = medianInPlace(work);
            for (double& v : work)
                v = std::fabs(v - center);
            const double mad = medianInPlace(work);
            scaler.center[c] = center;
            if (positive(mad * kMadToSd)) {
                scaler.scale[c] = mad * kMadToSd;
                continue;
            }
            double sd = 0.0;
            if (rows > 1) {
                double mean = 0.0;
                for (size_t r = 0; r < rows; ++r)
                    mean += X.data[r * cols + c];
                mean /= static_cast<double>(rows);
                double ss = 0.0;
                for (size_t r = 0; r < rows; ++r) {
                    const double d = X.data[r * cols + c] - mean;
                    ss += d * d;
                }
                sd = std::sqrt(ss / static_cast<double>(rows - 1));
            }
            if (positive(sd)) {
                scaler.scale[c] = sd;
            } else {
                scaler.scale[c] = 1.0;
                degenerate[c] = 1;
            }
        }
    });
    for (size_t c = 0; c < cols; ++c) {
        if (degenerate[c])
            scaler.degenerateFeatures.push_back(features[c]);
    }
    return scaler;
}

DimRedMatrix DimRedModel::standardize(const RobustScaler& scaler, const DimRedMatrix& X)
{
    DimRedMatrix out;
    if (scaler.scale.size() != X.cols || scaler.center.size() != X.cols || X.data.size() < X.rows * X.cols)
        return out;
    out.rows = X.rows;
    out.cols = X.cols;
    out.data.resize(X.rows * X.cols);
    const size_t cols = X.cols;
    parallelFor(X.rows, kRowBlock, [&](size_t begin, size_t end) {
        for (size_t r = begin; r < end; ++r) {
            for (size_t c = 0; c < cols; ++c)
                out.data[r * cols + c] = (X.data[r * cols + c] - scaler.center[c]) / scaler.scale[c];
        }
    });
    return out;
}

DimRedModel DimRedModel::fitPca(const DimRedMatrix& X, const std::vector<std::string>& features)
{
    DimRedModel model;
    if (X.cols <= 1 || X.rows <= 2 || X.cols != features.size() || X.data.size() < X.rows * X.cols)
        return model;
    const size_t rows = X.rows;
    const size_t F = X.cols;
    model.features = features;
    model.fitEventCount = X.rows;

    const RobustScaler scaler = fitScaler(X, features);
    model.center = scaler.center;
    model.scale = scaler.scale;
    model.degenerateFeatures = scaler.degenerateFeatures;

    const size_t blocks = (rows + kRowBlock - 1) / kRowBlock;
    auto standardisedRow = [&](size_t r, double* z) {
        for (size_t c = 0; c < F; ++c)
            z[c] = (X.data[r * F + c] - model.center[c]) / model.scale[c];
    };

    // Column means of the standardised rows.
    std::vector<double> blockSums(blocks * F, 0.0);
    parallelFor(blocks, 1, [&](size_t begin, size_t end) {
        std::vector<double> z(F);
        for (size_t b = begin; b < end; ++b) {
            double* sums = &blockSums[b * F];
            for (size_t r = b * kRowBlock; r < std::min(rows, (b + 1) * kRowBlock); ++r) {
                standardisedRow(r, z.data());
                for (size_t c = 0; c < F; ++c)
                    sums[c] += z[c];
            }
        }
    });
    std::vector<double> mean(F, 0.0);
    for (size_t b = 0; b < blocks; ++b) {
        for (size_t c = 0; c < F; ++c)
            mean[c] += blockSums[b * F + c];
    }
    for (double& m : mean)
        m /= static_cast<double>(rows);

    // Upper triangle of the covariance about that mean.
    const size_t triangle = F * (F + 1) / 2;
    std::vector<double> blockCov(blocks * triangle, 0.0);
    parallelFor(blocks, 1, [&](size_t begin, size_t end) {
        std::vector<double> z(F);
        for (size_t b = begin; b < end; ++b) {
            double* cov = &blockCov[b * triangle];
            for (size_t r = b * kRowBlock; r < std::min(rows, (b + 1) * kRowBlock); ++r) {
                standardisedRow(r, z.data());
                for (size_t c = 0; c < F; ++c)
                    z[c] -= mean[c];
                size_t t = 0;
                for (size_t i = 0; i < F; ++i) {
                    for (size_t j = i; j < F; ++j)
                        cov[t++] += z[i] * z[j];
                }
            }
        }
    });
    std::vector<double> S(F * F, 0.0);
    const double norm = 1.0 / static_cast<double>(rows - 1);
    for (size_t b = 0; b < blocks; ++b) {
        size_t t = 0;
        for (size_t i = 0; i < F; ++i) {
            for (size_t j = i; j < F; ++j)
                S[i * F + j] += blockCov[b * triangle + t++];
        }
    }
    for (size_t i = 0; i < F; ++i) {
        for (size_t j = i; j < F; ++j) {
            S[i * F + j] *= norm;
            S[j * F + i] = S[i * F + j];
        }
    }

    double trace = 0.0;
    for (size_t i = 0; i < F; ++i)
        trace += S[i * F + i];

    std::vector<double> values;
    std::vector<double> vectors;
    jacobiEigenSymmetric(S, static_cast<int>(F), values, vectors);
    std::vector<size_t> order(F);
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return values[a] > values[b]; });

    for (int which = 0; which < 2; ++which) {
        const size_t k = order[static_cast<size_t>(which)];
        std::vector<double> component(F);
        size_t largest = 0;
        for (size_t c = 0; c < F; ++c) {
            component[c] = vectors[c * F + k];
            if (std::fabs(component[c]) > std::fabs(component[largest]))
                largest = c;
        }
        if (component[largest] < 0.0) {
            for (double& v : component)
                v = -v;
        }
        const double explained = trace > 0.0 ? values[k] / trace : 0.0;
        if (which == 0) {
            model.component1 = std::move(component);
            model.explained1 = explained;
        } else {
            model.component2 = std::move(component);
            model.explained2 = explained;
        }
    }
    model.fitted = true;
    return model;
}

void DimRedModel::project(const DimRedMatrix& X, std::vector<double>& dim1, std::vector<double>& dim2) const
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    dim1.assign(X.rows, nan);
    dim2.assign(X.rows, nan);
    const size_t F = features.size();
    if (!fitted || X.cols != F || X.rows == 0 || X.data.size() < X.rows * X.cols || center.size() != F
        || scale.size() != F || component1.size() != F || component2.size() != F)
        return;
    parallelFor(X.rows, kRowBlock, [&](size_t begin, size_t end) {
        for (size_t r = begin; r < end; ++r) {
            const double* row = &X.data[r * F];
            bool finite = true;
            for (size_t c = 0; c < F && finite; ++c)
                finite = std::isfinite(row[c]);
            if (!finite)
                continue;
            double s1 = 0.0;
            double s2 = 0.0;
            for (size_t c = 0; c < F; ++c) {
                const double z = (row[c] - center[c]) / scale[c];
                s1 += z * component1[c];
                s2 += z * component2[c];
            }
            dim1[r] = s1;
            dim2[r] = s2;
        }
    });
}

void jacobiEigenSymmetric(std::vector<double>& matrix, int n, std::vector<double>& eigenvalues,
                          std::vector<double>& eigenvectors)
{
    const size_t N = n > 0 ? static_cast<size_t>(n) : 0;
    eigenvalues.assign(N, 0.0);
    eigenvectors.assign(N * N, 0.0);
    if (N == 0 || matrix.size() < N * N)
        return;
    std::vector<double>& A = matrix;
    std::vector<double>& V = eigenvectors;
    for (size_t i = 0; i < N; ++i)
        V[i * N + i] = 1.0;
    constexpr double kOffTolerance = std::numeric_limits<double>::epsilon();
    constexpr double kTiny = std::numeric_limits<double>::min();
    for (int sweep = 0; sweep < 100; ++sweep) {
        double off = 0.0;
        for (size_t p = 0; p < N; ++p) {
            for (size_t q = p + 1; q < N; ++q)
                off += A[p * N + q] * A[p * N + q];
        }
        if (off <= kOffTolerance)
            break;
        for (size_t p = 0; p + 1 < N; ++p) {
            for (size_t q = p + 1; q < N; ++q) {
                const double apq = A[p * N + q];
                if (std::fabs(apq) <= kTiny)
                    continue;
                const double theta = (A[q * N + q] - A[p * N + p]) / (2.0 * apq);
                const double sign = theta >= 0.0 ? 1.0 : -1.0;
                const double t = sign / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double s = t * c;
                A[p * N + p] -= t * apq;
                A[q * N + q] += t * apq;
                A[p * N + q] = 0.0;
                A[q * N + p] = 0.0;
                for (size_t m = 0; m < N; ++m) {
                    if (m == p || m == q)
                        continue;
                    const double amp = A[m * N + p];
                    const double amq = A[m * N + q];
                    A[m * N + p] = A[p * N + m] = c * amp - s * amq;
                    A[m * N + q] = A[q * N + m] = s * amp + c * amq;
                }
                for (size_t m = 0; m < N; ++m) {
                    const double vmp = V[m * N + p];
                    const double vmq = V[m * N + q];
                    V[m * N + p] = c * vmp - s * vmq;
                    V[m * N + q] = s * vmp + c * vmq;
                }
            }
        }
    }
    for (size_t i = 0; i < N; ++i)
        eigenvalues[i] = A[i * N + i];
}

} // namespace Tervane3
