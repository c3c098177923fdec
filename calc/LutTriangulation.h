// The Delaunay triangulation of a look-up table in normalised coordinates (area and
// deformation each mapped onto 0..1) with a 100 x 100 grid of triangle buckets, and the
// barycentric interpolation of the table modulus at any (area, deformation).
// Built once per table; afterwards read-only, so any number of threads may interpolate.
#pragma once

#include <optional>
#include <vector>

namespace Tervane3 {

struct LutData;

// Vertex indices into the table rows, counter-clockwise in normalised coordinates.
struct LutTriangle
{
    int a = 0;
    int b = 0;
    int c = 0;
};

struct LutTriangulation
{
    static constexpr int gridSize = 100;

    std::vector<double> x;        // (area - areaMin) / areaRange of each row
    std::vector<double> y;        // (deform - deformMin) / deformRange of each row
    std::vector<double> emodulus; // table modulus of each row, kPa
    double areaMin = 0.0;
    double areaMax = 0.0;
    double deformMin = 0.0;
    double deformMax = 0.0;
    double areaRange = 0.0;
    double deformRange = 0.0;
    std::vector<LutTriangle> triangles;
    // Cell (ix, iy) is element iy * gridSize + ix: the ascending indices of the triangles
    // whose bounding box touches the cell.
    std::vector<std::vector<int>> cells;

    // Triangulates the rows in file order (Bowyer-Watson with exact predicates). Nothing
    // for fewer than three rows, or when the areas or the deformations span no finite,
    // non-zero range (the normalisation would divide by zero).
    static std::optional<LutTriangulation> build(const LutData& table);

    // The table modulus at (area, deform) in table units, or NaN outside the triangulated
    // region or for a coordinate that is not finite.
    double interpolate(double area, double deform) const;
};

} // namespace Tervane3
