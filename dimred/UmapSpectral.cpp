// Spectral starting layout. The long vectors (Lanczos vectors, the deflation basis) are
// handled in fixed blocks of rows on all cores; every dot product is summed per block and
// the block sums are added in block order, so the layout is the same at any thread count.
// The Lanczos vectors are stored row by row (n x m) so that one pass over a block of rows
// serves every vector at once.
#include "dimred/UmapSpectral.h"

#include "core/ParallelFor.h"
#include "dimred/UmapRandom.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace Tervane3 {

namespace {

constexpr size_t kBlock = 1024;
constexpr uint64_t kNoiseSeed = 0xc0ffee;
constexpr uint64_t kComponentSeedStep = 0x100000001b3ULL;

size_t blockCount(size_t n) { return (n + kBlock - 1) / kBlock; }

// Blocks per task: enough work (about 2^18 multiply-adds) that starting a thread pays off.
// Only the hand-out changes with it; the block sums and their order do not.
size_t blocksPerTask(size_t columns) { return std::max<size_t>(1, (size_t{1} << 18) / (kBlock * std::max<size_t>(columns, 1))); }

// Vectors as the columns of an n x ld row-major matrix; the first `count` columns are used.
struct Columns
{
    double* data;
    size_t n;
    size_t ld;
    double* row(size_t i) const { return data + i * ld; }
};

// h[j] = column j . w for j < count.
std::vector<double> dotColumns(const Columns& Q, size_t count, const std::vector<double>& w)
{
    const size_t blocks = blockCount(Q.n);
    std::vector<double> partial(blocks * count, 0.0);
    parallelFor(blocks, blocksPerTask(count), [&](size_t begin, size_t end) {
        for (size_t b = begin; b < end; ++b) {
            double* acc = &partial[b * count];
            const double* wv = w.data();
            for (size_t i = b * kBlock; i < std::min(Q.n, (b + 1) * kBlock); ++i) {
                const double* q = Q.row(i);
                const double wi = wv[i];
                for (size_t j = 0; j < count; ++j)
                    acc[j] += q[j] * wi;
            }
        }
    });
    std::vector<double> h(count, 0.0);
    for (size_t b = 0; b < blocks; ++b) {
        for (size_t j = 0; j < count; ++j)
            h[j] += partial[b * count + j];
    }
    return h;
}

// w -= sum_j h[j] column j; with `next` set, also returns the column dots of the updated w
// (the second Gram-Schmidt pass's dots fused into the first pass's update).
std::vector<double> subtractColumns(const Columns& Q, size_t count, const std::vector<double>& h,
                                    std::vector<double>& w, bool next)
{
    const size_t blocks = blockCount(Q.n);
    std::vector<double> partial(next ? blocks * count : 0, 0.0);
    parallelFor(blocks, blocksPerTask(next ? 2 * count : count), [&](size_t begin, size_t end) {
        for (size_t b = begin; b < end; ++b) {
            double* acc = next ? &partial[b * count] : nullptr;
            const double* hv = h.data();
            double* wv = w.data();
            for (size_t i = b * kBlock; i < std::min(Q.n, (b + 1) * kBlock); ++i) {
                const double* q = Q.row(i);
                double s = 0.0;
                for (size_t j = 0; j < count; ++j)
                    s += hv[j] * q[j];
                const double wi = wv[i] - s;
                wv[i] = wi;
                if (acc) {
                    for (size_t j = 0; j < count; ++j)
                        acc[j] += q[j] * wi;
                }
            }
        }
    });
    std::vector<double> out(next ? count : 0, 0.0);
    for (size_t b = 0; next && b < blocks; ++b) {
        for (size_t j = 0; j < count; ++j)
            out[j] += partial[b * count + j];
    }
    return out;
}

// Two classical Gram-Schmidt passes against the first `count` columns.
void orthogonalise(const Columns& Q, size_t count, std::vector<double>& w)
{
    if (count == 0)
        return;
    const std::vector<double> h1 = dotColumns(Q, count, w);
    const std::vector<double> h2 = subtractColumns(Q, count, h1, w, true);
    subtractColumns(Q, count, h2, w, false);
}

double dot(const std::vector<double>& a, const std::vector<double>& b)
{
    const size_t n = a.size();
    const size_t blocks = blockCount(n);
    std::vector<double> partial(blocks, 0.0);
    parallelFor(blocks, blocksPerTask(1), [&](size_t begin, size_t end) {
        for (size_t blk = begin; blk < end; ++blk) {
            double s = 0.0;
            for (size_t i = blk * kBlock; i < std::min(n, (blk + 1) * kBlock); ++i)
                s += a[i] * b[i];
            partial[blk] = s;
        }
    });
    double s = 0.0;
    for (double p : partial)
        s += p;
    return s;
}

// out = z + d (W (d z)), row by row.
void applyOperator(const CsrGraph& graph, const std::vector<double>& d, const std::vector<double>& z,
                   std::vector<double>& out)
{
    const size_t n = z.size();
    const size_t entriesPerRow = n > 0 ? graph.neighbours.size() / n + 1 : 1;
    parallelFor(n, kBlock * blocksPerTask(entriesPerRow), [&](size_t begin, size_t end) {
        for (size_t v = begin; v < end; ++v) {
            double s = 0.0;
            for (uint64_t e = graph.offsets[v]; e < graph.offsets[v + 1]; ++e) {
                const size_t u = static_cast<size_t>(graph.neighbours[e]);
                s += graph.weights[e] * d[u] * z[u];
            }
            out[v] = z[v] + d[v] * s;
        }
    });
}

} // namespace

void jacobiEigenSmall(std::vector<double>& matrix, int k, std::vector<double>& eigenvalues,
                      std::vector<double>& eigenvectors)
{
    const size_t K = k > 0 ? static_cast<size_t>(k) : 0;
    eigenvalues.assign(K, 0.0);
    eigenvectors.assign(K * K, 0.0);
    if (K == 0 || matrix.size() < K * K)
        return;
    double* A = matrix.data();
    std::vector<double> rotation(K * K, 0.0);
    double* V = rotation.data();
    for (size_t i = 0; i < K; ++i)
        V[i * K + i] = 1.0;
    for (int sweep = 0; sweep < 100; ++sweep) {
        double off = 0.0;
        for (size_t p = 0; p < K; ++p) {
            for (size_t q = p + 1; q < K; ++q)
                off += A[p * K + q] * A[p * K + q];
        }
        if (off < 1e-30)
            break;
        for (size_t p = 0; p < K; ++p) {
            for (size_t q = p + 1; q < K; ++q) {
                const double apq = A[p * K + q];
                if (std::fabs(apq) < 1e-300)
                    continue;
                const double theta = (A[q * K + q] - A[p * K + p]) / (2.0 * apq);
                const double t = std::copysign(1.0, theta) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double s = t * c;
                // Columns p and q of every row, then rows p and q of every column, then V.
                for (size_t m = 0; m < K; ++m) {
                    double* row = A + m * K;
                    const double amp = row[p];
                    const double amq = row[q];
                    row[p] = c * amp - s * amq;
                    row[q] = s * amp + c * amq;
                }
                double* rowP = A + p * K;
                double* rowQ = A + q * K;
                for (size_t m = 0; m < K; ++m) {
                    const double apm = rowP[m];
                    const double aqm = rowQ[m];
                    rowP[m] = c * apm - s * aqm;
                    rowQ[m] = s * apm + c * aqm;
                }
                for (size_t m = 0; m < K; ++m) {
                    double* row = V + m * K;
                    const double vmp = row[p];
                    const double vmq = row[q];
                    row[p] = c * vmp - s * vmq;
                    row[q] = s * vmp + c * vmq;
                }
            }
        }
    }
    std::vector<size_t> order(K);
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return A[a * K + a] < A[b * K + b]; });
    for (size_t col = 0; col < K; ++col) {
        const size_t from = order[col];
        eigenvalues[col] = A[from * K + from];
        for (size_t m = 0; m < K; ++m)
            eigenvectors[m * K + col] = V[m * K + from];
    }
}

bool spectralEmbedding(const CsrGraph& graph, int dims, int64_t seed, std::vector<double>& out)
{
    out.clear();
    const size_t n = graph.vertexCount();
    if (dims < 1 || n < static_cast<size_t>(dims) + 2)
        return false;
    const size_t D = static_cast<size_t>(dims);

    std::vector<double> degree(n, 0.0);
    std::vector<double> dInv(n, 0.0);
    for (size_t v = 0; v < n; ++v) {
        double s = 0.0;
        for (uint64_t e = graph.offsets[v]; e < graph.offsets[v + 1]; ++e)
            s += graph.weights[e];
        if (!(s > 0.0) || !std::isfinite(s))
            return false;
        degree[v] = s;
        dInv[v] = 1.0 / std::sqrt(s);
    }

    const size_t memoryCap = (size_t{1} << 27) / (8 * n);
    const size_t m = std::min({n - D - 1, size_t{128}, memoryCap});
    if (m < 2)
        return false;

    // The deflation basis: the trivial eigenvector, then one vector per output dimension.
    std::vector<double> basisData(n * (D + 1), 0.0);
    const Columns basis{basisData.data(), n, D + 1};
    {
        std::vector<double> trivial(n);
        for (size_t v = 0; v < n; ++v)
            trivial[v] = std::sqrt(degree[v]);
        const double norm = std::sqrt(dot(trivial, trivial));
        for (size_t v = 0; v < n; ++v)
            basis.row(v)[0] = trivial[v] / norm;
    }
    size_t basisCount = 1;

    UmapRandom normals(static_cast<uint64_t>(seed));
    std::vector<double> lanczosData(n * m, 0.0);
    const Columns lanczos{lanczosData.data(), n, m};
    std::vector<double> r(n);
    std::vector<double> w(n);
    std::vector<double> q(n);

    for (size_t dim = 0; dim < D; ++dim) {
        for (size_t v = 0; v < n; ++v)
            r[v] = normals.normal();
        orthogonalise(basis, basisCount, r);
        double t = std::sqrt(dot(r, r));
        if (!(t > 0.0))
            return false;

        std::vector<double> alphas;
        std::vector<double> betas;
        size_t k = 0; // Lanczos vectors stored
        for (;;) {
            for (size_t v = 0; v < n; ++v) {
                q[v] = r[v] / t;
                lanczos.row(v)[k] = q[v];
            }
            ++k;
            applyOperator(graph, dInv, q, w);
            orthogonalise(basis, basisCount, w);
            const double alpha = dot(q, w);
            alphas.push_back(alpha);
            const size_t j = k - 1;
            for (size_t v = 0; v < n; ++v) {
                w[v] -= alpha * q[v];
                if (j > 0)
                    w[v] -= betas[j - 1] * lanczos.row(v)[j - 1];
            }
            orthogonalise(lanczos, k, w);
            const double beta = std::sqrt(dot(w, w));
            if (beta < 1e-12)
                break;
            betas.push_back(beta);
            r.swap(w);
            t = beta;
            if (betas.size() >= m)
                break;
        }
        if (k < 2)
            return false;

        std::vector<double> T(k * k, 0.0);
        for (size_t j = 0; j < k; ++j)
            T[j * k + j] = alphas[j];
        for (size_t j = 0; j < betas.size() && j + 1 < k; ++j) {
            T[j * k + j + 1] = betas[j];
            T[(j + 1) * k + j] = betas[j];
        }
        std::vector<double> values;
        std::vector<double> vectors;
        jacobiEigenSmall(T, static_cast<int>(k), values, vectors);
        const size_t top = k - 1;
        const double betaLast = betas.size() == k ? betas.back() : 0.0;
        const double residual = std::fabs(betaLast * vectors[(k - 1) * k + top]);
        if (!(residual < 1e-3))
            return false;

        std::vector<double> s(k);
        for (size_t j = 0; j < k; ++j)
            s[j] = vectors[j * k + top];
        std::vector<double>& y = w;
        parallelFor(n, kBlock * blocksPerTask(k), [&](size_t begin, size_t end) {
            for (size_t v = begin; v < end; ++v) {
                const double* row = lanczos.row(v);
                double acc = 0.0;
                for (size_t j = 0; j < k; ++j)
                    acc += s[j] * row[j];
                y[v] = acc;
            }
        });
        orthogonalise(basis, basisCount, y);
        const double norm = std::sqrt(dot(y, y));
        if (!(norm > 0.0))
            return false;
        for (size_t v = 0; v < n; ++v)
            basis.row(v)[basisCount] = y[v] / norm;
        ++basisCount;
    }

    out.resize(n * D);
    for (size_t v = 0; v < n; ++v) {
        for (size_t l = 0; l < D; ++l) {
            const double value = basis.row(v)[l + 1];
            if (!std::isfinite(value)) {
                out.clear();
                return false;
            }
            out[v * D + l] = value;
        }
    }
    return true;
}

std::vector<double> classicalMds(const std::vector<double>& distances, int nc)
{
    const size_t N = nc > 0 ? static_cast<size_t>(nc) : 0;
    std::vector<double> coords(N * 2, 0.0);
    if (N == 0 || distances.size() < N * N)
        return coords;
    std::vector<double> B(N * N);
    for (size_t e = 0; e < N * N; ++e)
        B[e] = distances[e] * distances[e];
    std::vector<double> rowMean(N, 0.0);
    for (size_t j = 0; j < N; ++j) {
        for (size_t k = 0; k < N; ++k)
            rowMean[j] += B[j * N + k];
        rowMean[j] /= static_cast<double>(N);
    }
    double g = 0.0;
    for (double r : rowMean)
        g += r;
    g /= static_cast<double>(N);
    for (size_t j = 0; j < N; ++j) {
        for (size_t k = 0; k < N; ++k)
            B[j * N + k] = -0.5 * (B[j * N + k] - rowMean[j] - rowMean[k] + g);
    }
    std::vector<double> values;
    std::vector<double> vectors;
    jacobiEigenSmall(B, nc, values, vectors);
    for (size_t dim = 0; dim < 2 && dim < N; ++dim) {
        const size_t which = N - 1 - dim;
        const double f = std::sqrt(std::max(values[which], 0.0));
        for (size_t j = 0; j < N; ++j)
            coords[j * 2 + dim] = f * vectors[j * N + which];
    }
    return coords;
}

bool componentLayout(const CsrGraph& graph, const DimRedMatrix& X, const std::vector<int32_t>& labels,
                     int32_t componentCount, int64_t seed, std::vector<double>& layout)
{
    const size_t n = graph.vertexCount();
    const size_t nc = componentCount > 0 ? static_cast<size_t>(componentCount) : 0;
    const size_t F = X.cols;

    std::vector<double> centres(nc * F, 0.0);
    std::vector<uint64_t> sizes(nc, 0);
    for (size_t v = 0; v < n; ++v) {
        const size_t c = static_cast<size_t>(labels[v]);
        ++sizes[c];
        for (size_t f = 0; f < F; ++f)
            centres[c * F + f] += X.data[v * F + f];
    }
    for (size_t c = 0; c < nc; ++c) {
        for (size_t f = 0; f < F; ++f)
            centres[c * F + f] /= static_cast<double>(std::max<uint64_t>(sizes[c], 1));
    }
    std::vector<double> D(nc * nc, 0.0);
    for (size_t i = 0; i < nc; ++i) {
        for (size_t j = 0; j < nc; ++j) {
            double s = 0.0;
            for (size_t f = 0; f < F; ++f) {
                const double d = centres[i * F + f] - centres[j * F + f];
                s += d * d;
            }
            D[i * nc + j] = std::sqrt(s);
        }
    }
    std::vector<double> position = classicalMds(D, static_cast<int>(nc));
    double mc = 0.0;
    for (double v : position)
        mc = std::max(mc, std::fabs(v));
    if (mc > 1e-12) {
        for (double& v : position)
            v /= mc;
    } else {
        constexpr double kTwoPi = 6.283185307179586476925286766559;
        for (size_t i = 0; i < nc; ++i) {
            position[i * 2] = std::cos(kTwoPi * static_cast<double>(i) / static_cast<double>(nc));
            position[i * 2 + 1] = std::sin(kTwoPi * static_cast<double>(i) / static_cast<double>(nc));
        }
    }

    UmapRandom uniform(static_cast<uint64_t>(seed));
    layout.assign(2 * n, 0.0);
    std::vector<int32_t> vertices;
    std::vector<double> local;
    for (size_t i = 0; i < nc; ++i) {
        double nearest = std::numeric_limits<double>::max();
        for (size_t j = 0; j < nc; ++j) {
            if (j == i)
                continue;
            const double dx = position[i * 2] - position[j * 2];
            const double dy = position[i * 2 + 1] - position[j * 2 + 1];
            nearest = std::min(nearest, std::sqrt(dx * dx + dy * dy));
        }
        double u = nearest / 2.0;
        if (!(u > 0.0) || !std::isfinite(u))
            u = 0.25;
        const CsrGraph sub = componentSubgraph(graph, labels, static_cast<int32_t>(i), vertices);
        const uint64_t componentSeed = static_cast<uint64_t>(seed) ^ ((i + 1) * kComponentSeedStep);
        bool placed = false;
        if (spectralEmbedding(sub, 2, static_cast<int64_t>(componentSeed), local)) {
            double wmax = 0.0;
            for (double v : local)
                wmax = std::max(wmax, std::fabs(v));
            if (wmax > 1e-12) {
                for (double& v : local)
                    v *= u / wmax;
                placed = true;
            }
        }
        if (!placed) {
            local.resize(2 * vertices.size());
            for (double& v : local)
                v = 2.0 * u * uniform.uniform() - u;
        }
        for (size_t p = 0; p < vertices.size(); ++p) {
            const size_t v = static_cast<size_t>(vertices[p]);
            layout[v * 2] = local[p * 2] + position[i * 2];
            layout[v * 2 + 1] = local[p * 2 + 1] + position[i * 2 + 1];
        }
    }
    return true;
}

bool umapSpectralInit(const std::vector<UmapEdge>& edges, const DimRedMatrix& X, int64_t seed,
                      std::vector<double>& layout)
{
    const size_t n = X.rows;
    layout.assign(2 * n, 0.0);
    if (n <= 4 || X.cols == 0 || edges.empty())
        return false;
    for (const UmapEdge& e : edges) {
        if (e.head < 0 || e.tail < 0 || static_cast<size_t>(e.head) >= n || static_cast<size_t>(e.tail) >= n)
            return false;
    }
    const CsrGraph graph = buildCsrGraph(edges, n);
    std::vector<int32_t> labels;
    const int32_t components = connectedComponents(graph, labels);
    std::vector<double> result;
    bool ok = false;
    if (components == 1)
        ok = spectralEmbedding(graph, 2, seed, result);
    else if (components <= 256)
        ok = componentLayout(graph, X, labels, components, seed, result);
    if (!ok || result.size() != 2 * n)
        return false;
    double mx = 0.0;
    for (double v : result) {
        if (!std::isfinite(v))
            return false;
        mx = std::max(mx, std::fabs(v));
    }
    if (mx <= 1e-12)
        return false;
    const double factor = 10.0 / mx;
    UmapRandom noise(static_cast<uint64_t>(seed) ^ kNoiseSeed);
    for (size_t e = 0; e < result.size(); ++e)
        layout[e] = result[e] * factor + noise.normal(0.0, 1e-4);
    return true;
}

void umapFindAbParams(double minDist, double spread, double& a, double& b)
{
    constexpr int kSamples = 300;
    double xs[kSamples];
    double ys[kSamples];
    for (int i = 0; i < kSamples; ++i) {
        xs[i] = 3.0 * spread * i / (kSamples - 1);
        ys[i] = xs[i] < minDist ? 1.0 : std::exp(-(xs[i] - minDist) / spread);
    }
    a = 1.0;
    b = 1.0;
    for (int iteration = 0; iteration < 200; ++iteration) {
        double jaa = 0.0, jbb = 0.0, jab = 0.0, eja = 0.0, ejb = 0.0;
        for (int i = 0; i < kSamples; ++i) {
            const double x = xs[i];
            if (!(x > 0.0))
                continue;
            const double p = std::pow(x, 2.0 * b);
            const double l = a * p + 1.0;
            const double e = 1.0 / l - ys[i];
            const double ja = -p / (l * l);
            const double jb = -2.0 * a * p * std::log(x) / (l * l);
            jaa += ja * ja;
            jbb += jb * jb;
            jab += ja * jb;
            eja += e * ja;
            ejb += e * jb;
        }
        jaa += 1e-6;
        jbb += 1e-6;
        const double det = jbb * jaa - jab * jab;
        if (std::fabs(det) < 1e-30)
            break;
        const double da = -(jbb * eja - ejb * jab) / det;
        const double db = -(jaa * ejb - jab * eja) / det;
        a += da;
        b += db;
        a = std::max(a, 1e-6);
        b = std::max(b, 1e-6);
        if (std::fabs(da) < 1e-10 && std::fabs(db) < 1e-10)
            break;
    }
}

} // namespace Tervane3
