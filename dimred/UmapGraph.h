// The UMAP neighbour graph: per-point distance normalisation (rho, sigma), the fuzzy union
// of the directed memberships into one undirected edge list, its compressed adjacency, the
// connected components and the graph of one component.
#pragma once

#include <cstdint>
#include <vector>

namespace Tervane3 {

struct UmapEdge
{
    int32_t head;  // the point whose neighbour entry started the edge
    int32_t tail;
    double weight; // membership strength of the pair, in (0, 1]
};

// Undirected adjacency: vertex v's entries are offsets[v] .. offsets[v + 1] - 1; every edge
// {i, j} (i != j) appears in row i and in row j with the same weight.
struct CsrGraph
{
    std::vector<uint64_t> offsets;
    std::vector<int32_t> neighbours;
    std::vector<double> weights;

    uint64_t vertexCount() const { return offsets.empty() ? 0 : offsets.size() - 1; }
};

// distances: n x k, row-major, nearest first, +infinity for missing entries. sigma and rho
// get n values each.
void umapSmoothKnnDistances(const std::vector<double>& distances, uint64_t n, int k,
                            std::vector<double>& sigma, std::vector<double>& rho);

// One edge per unordered pair of points that are neighbours in either direction, with
// weight w(i, j) + w(j, i) - w(i, j) w(j, i) when that is > 0. Edges come in row and slot
// order: entry (i, j) starts the edge unless j < i and i is in row j. No hashing, so the
// order, and with it the embedding, is the same on every run.
std::vector<UmapEdge> umapFuzzyUnion(const std::vector<int32_t>& indices, const std::vector<double>& weights,
                                     uint64_t n, int k);

// Self-loops are dropped; within a row the entries follow the edge-list order.
CsrGraph buildCsrGraph(const std::vector<UmapEdge>& edges, uint64_t n);

// Labels 0 .. count - 1, numbered in the order of each component's lowest vertex.
int32_t connectedComponents(const CsrGraph& graph, std::vector<int32_t>& labels);

// The rows of component `component` (vertices ascending, listed in `vertices`) with their
// neighbours renumbered to positions in that list.
CsrGraph componentSubgraph(const CsrGraph& graph, const std::vector<int32_t>& labels, int32_t component,
                           std::vector<int32_t>& vertices);

} // namespace Tervane3
