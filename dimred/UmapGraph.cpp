// UMAP graph construction. Rows are independent in the smoothing and in the union (each
// row's edges are counted, then written at prefix-summed offsets), so both run on all
// cores with the same output as a serial pass.
#include "dimred/UmapGraph.h"

#include "core/ParallelFor.h"

#include <cmath>
#include <limits>

namespace Tervane3 {

namespace {
constexpr double kSmoothTolerance = 1e-5;
constexpr double kMinDistanceScale = 1e-3;
constexpr size_t kRowBlock = 1024;
} // namespace

void umapSmoothKnnDistances(const std::vector<double>& distances, uint64_t n, int k,
                            std::vector<double>& sigma, std::vector<double>& rho)
{
    sigma.assign(n, 1.0);
    rho.assign(n, 0.0);
    const size_t K = k > 0 ? static_cast<size_t>(k) : 0;
    if (n == 0 || K == 0 || distances.size() < n * K)
        return;
    const double target = std::log2(static_cast<double>(k));

    double total = 0.0;
    uint64_t finiteCount = 0;
    for (size_t e = 0; e < n * K; ++e) {
        if (std::isfinite(distances[e])) {
            total += distances[e];
            ++finiteCount;
        }
    }
    const double globalMean = finiteCount > 0 ? total / static_cast<double>(finiteCount) : 0.0;

    parallelFor(n, kRowBlock, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            const double* row = &distances[i * K];
            double r = 0.0;
            bool haveRho = false;
            double rowSum = 0.0;
            int rowFinite = 0;
            for (size_t j = 0; j < K; ++j) {
                const double d = row[j];
                if (!std::isfinite(d))
                    continue;
                rowSum += d;
                ++rowFinite;
                if (d > 0.0 && (!haveRho || d < r)) {
                    r = d;
                    haveRho = true;
                }
            }
            double lo = 0.0;
            double hi = std::numeric_limits<double>::infinity();
            double mid = 1.0;
            for (int iteration = 0; iteration < 64; ++iteration) {
                double s = 0.0;
                for (size_t j = 0; j < K; ++j) {
                    const double d = row[j];
                    if (!std::isfinite(d))
                        continue;
                    const double excess = d - r;
                    s += excess > 0.0 ? std::exp(-excess / mid) : 1.0;
                }
                if (std::fabs(s - target) < kSmoothTolerance)
                    break;
                if (s > target) {
                    hi = mid;
                    mid = (lo + mid) / 2.0;
                } else {
                    lo = mid;
                    mid = std::isinf(hi) ? 2.0 * mid : (mid + hi) / 2.0;
                }
            }
            const double meanDistance = r > 0.0 ? (rowFinite > 0 ? rowSum / rowFinite : 0.0) : globalMean;
            double s = std::max(kMinDistanceScale * meanDistance, mid);
            if (!(s > 0.0))
                s = 1.0;
            sigma[i] = s;
            rho[i] = r;
        }
    });
}

std::vector<UmapEdge> umapFuzzyUnion(const std::vector<int32_t>& indices, const std::vector<double>& weights,
                                     uint64_t n, int k)
{
    std::vector<UmapEdge> edges;
    const size_t K = k > 0 ? static_cast<size_t>(k) : 0;
    if (n == 0 || K == 0 || indices.size() < n * K || weights.size() < n * K)
        return edges;
    const auto inRange = [n](int32_t j) { return j >= 0 && static_cast<uint64_t>(j) < n; };
    // w(from, to): the weight of the first slot of row `from` that holds `to`, else 0.
    const auto weightOf = [&](size_t from, int32_t to, bool& present) {
        for (size_t s = 0; s < K; ++s) {
            if (indices[from * K + s] == to) {
                present = true;
                return weights[from * K + s];
            }
        }
        present = false;
        return 0.0;
    };
    // Visits row i's candidate edges in slot order; emit(tail, union weight).
    const auto visitRow = [&](size_t i, auto&& emit) {
        for (size_t s = 0; s < K; ++s) {
            const int32_t j = indices[i * K + s];
            if (!inRange(j))
                continue;
            bool back = false;
            const double wji = weightOf(static_cast<size_t>(j), static_cast<int32_t>(i), back);
            if (static_cast<size_t>(j) < i && back)
                continue; // row j already started this pair
            const double wij = weights[i * K + s];
            const double u = wij + wji - wij * wji;
            if (u > 0.0)
                emit(j, u);
        }
    };

    const size_t blocks = (n + kRowBlock - 1) / kRowBlock;
    std::vector<uint64_t> blockStart(blocks + 1, 0);
    parallelFor(blocks, 1, [&](size_t begin, size_t end) {
        for (size_t b = begin; b < end; ++b) {
            uint64_t count = 0;
            for (size_t i = b * kRowBlock; i < std::min<size_t>(n, (b + 1) * kRowBlock); ++i)
                visitRow(i, [&](int32_t, double) { ++count; });
            blockStart[b + 1] = count;
        }
    });
    for (size_t b = 0; b < blocks; ++b)
        blockStart[b + 1] += blockStart[b];
    edges.resize(blockStart[blocks]);
    parallelFor(blocks, 1, [&](size_t begin, size_t end) {
        for (size_t b = begin; b < end; ++b) {
            uint64_t next = blockStart[b];
            for (size_t i = b * kRowBlock; i < std::min<size_t>(n, (b + 1) * kRowBlock); ++i)
                visitRow(i, [&](int32_t j, double u) { edges[next++] = UmapEdge{static_cast<int32_t>(i), j, u}; });
        }
    });
    return edges;
}

CsrGraph buildCsrGraph(const std::vector<UmapEdge>& edges, uint64_t n)
{
    CsrGraph graph;
    graph.offsets.assign(n + 1, 0);
    const auto valid = [n](const UmapEdge& e) {
        return e.head != e.tail && e.head >= 0 && e.tail >= 0 && static_cast<uint64_t>(e.head) < n
            && static_cast<uint64_t>(e.tail) < n;
    };
    for (const UmapEdge& e : edges) {
        if (!valid(e))
            continue;
        ++graph.offsets[static_cast<size_t>(e.head) + 1];
        ++graph.offsets[static_cast<size_t>(e.tail) + 1];
    }
    for (size_t v = 0; v < n; ++v)
        graph.offsets[v + 1] += graph.offsets[v];
    graph.neighbours.resize(graph.offsets[n]);
    graph.weights.resize(graph.offsets[n]);
    std::vector<uint64_t> next(graph.offsets.begin(), graph.offsets.end() - 1);
    for (const UmapEdge& e : edges) {
        if (!valid(e))
            continue;
        uint64_t& h = next[static_cast<size_t>(e.head)];
        graph.neighbours[h] = e.tail;
        graph.weights[h] = e.weight;
        ++h;
        uint64_t& t = next[static_cast<size_t>(e.tail)];
        graph.neighbours[t] = e.head;
        graph.weights[t] = e.weight;
        ++t;
    }
    return graph;
}

int32_t connectedComponents(const CsrGraph& graph, std::vector<int32_t>& labels)
{
    const uint64_t n = graph.vertexCount();
    labels.assign(n, -1);
    int32_t count = 0;
    std::vector<int32_t> stack;
    for (uint64_t v = 0; v < n; ++v) {
        if (labels[v] != -1)
            continue;
        labels[v] = count;
        stack.push_back(static_cast<int32_t>(v));
        while (!stack.empty()) {
            const int32_t u = stack.back();
            stack.pop_back();
            for (uint64_t e = graph.offsets[static_cast<size_t>(u)]; e < graph.offsets[static_cast<size_t>(u) + 1]; ++e) {
                const int32_t w = graph.neighbours[e];
                if (labels[static_cast<size_t>(w)] == -1) {
                    labels[static_cast<size_t>(w)] = count;
                    stack.push_back(w);
                }
            }
        }
        ++count;
    }
    return count;
}

CsrGraph componentSubgraph(const CsrGraph& graph, const std::vector<int32_t>& labels, int32_t component,
                           std::vector<int32_t>& vertices)
{
    const uint64_t n = graph.vertexCount();
    vertices.clear();
    std::vector<int32_t> local(n, -1);
    for (uint64_t v = 0; v < n && v < labels.size(); ++v) {
        if (labels[v] == component) {
            local[v] = static_cast<int32_t>(vertices.size());
            vertices.push_back(static_cast<int32_t>(v));
        }
    }
    CsrGraph sub;
    sub.offsets.assign(vertices.size() + 1, 0);
    for (size_t i = 0; i < vertices.size(); ++i) {
        const size_t v = static_cast<size_t>(vertices[i]);
        sub.offsets[i + 1] = sub.offsets[i] + (graph.offsets[v + 1] - graph.offsets[v]);
    }
    sub.neighbours.reserve(sub.offsets.back());
    sub.weights.reserve(sub.offsets.back());
    for (const int32_t v : vertices) {
        for (uint64_t e = graph.offsets[static_cast<size_t>(v)]; e < graph.offsets[static_cast<size_t>(v) + 1]; ++e) {
            sub.neighbours.push_back(local[static_cast<size_t>(graph.neighbours[e])]);
            sub.weights.push_back(graph.weights[e]);
        }
    }
    return sub;
}

} // namespace Tervane3
