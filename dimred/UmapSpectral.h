// The starting layout of the UMAP fit and its curve parameters: the spectral layout of the
// neighbour graph (eigenvectors of its normalised Laplacian by a deflated Lanczos solver;
// components of a disconnected graph laid out separately around centres placed by
// classical multidimensional scaling), the small Jacobi solver they share, and the fit of
// a and b in 1 / (1 + a d^(2b)).
#pragma once

#include "dimred/DimRedMatrix.h"
#include "dimred/UmapGraph.h"

#include <cstdint>
#include <vector>

namespace Tervane3 {

// layout: 2 x X.rows values (x then y per point). True when it holds a usable spectral
// layout, scaled to a largest absolute coordinate of 10 plus a little noise.
bool umapSpectralInit(const std::vector<UmapEdge>& edges, const DimRedMatrix& X, int64_t seed,
                      std::vector<double>& layout);

// Eigenvectors of the normalised Laplacian of a connected graph for its `dims` smallest
// non-trivial eigenvalues: n x dims values, row-major, in out.
bool spectralEmbedding(const CsrGraph& graph, int dims, int64_t seed, std::vector<double>& out);

// Layout of a graph of nc components (2 .. 256): each component's own spectral layout (or a
// random square when it has none) around its centre placed by classical MDS. Always true.
bool componentLayout(const CsrGraph& graph, const DimRedMatrix& X, const std::vector<int32_t>& labels,
                     int32_t componentCount, int64_t seed, std::vector<double>& layout);

// nc x 2 coordinates, row-major, from an nc x nc distance matrix.
std::vector<double> classicalMds(const std::vector<double>& distances, int nc);

// Symmetric k x k row-major matrix (overwritten): eigenvalues ascending, eigenvectors as
// the columns of a k x k row-major matrix in the same order.
void jacobiEigenSmall(std::vector<double>& matrix, int k, std::vector<double>& eigenvalues,
                      std::vector<double>& eigenvectors);

// Least-squares fit of 1 / (1 + a x^(2b)) to the target curve of minDist and spread.
void umapFindAbParams(double minDist, double spread, double& a, double& b);

} // namespace Tervane3
