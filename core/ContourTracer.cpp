// Contour tracing of one density level (see ContourTracer.h).
#include "core/ContourTracer.h"

#include "core/DensityEstimator.h"

#include <algorithm>
#include <tuple>

namespace Tervane3 {

bool ContourTracer::EdgeKey::operator<(const EdgeKey& other) const
{
    return std::tie(row, column, kind) < std::tie(other.row, other.column, other.kind);
}

bool ContourTracer::EdgeKey::operator==(const EdgeKey& other) const
{
    return row == other.row && column == other.column && kind == other.kind;
}

ContourTracer::ContourTracer(const DensityGrid& grid, double level)
    : m_grid(grid)
    , m_level(level)
{
}

std::vector<ContourPolyline> ContourTracer::trace()
{
    m_segments.clear();
    if (m_grid.bins <= 1 || m_grid.values.size() < static_cast<size_t>(m_grid.bins) * m_grid.bins)
        return {};
    traceCells();
    return joinSegments();
}

void ContourTracer::traceCells()
{
    const int bins = m_grid.bins;
    for (int r = 0; r + 1 < bins; ++r) {
        for (int c = 0; c + 1 < bins; ++c) {
            const double z0 = m_grid.at(r, c);
            const double z1 = m_grid.at(r, c + 1);
            const double z2 = m_grid.at(r + 1, c + 1);
            const double z3 = m_grid.at(r + 1, c);
            // A corner's bit is set when it is at or above the level; NaN counts as below.
            const int index = (z0 >= m_level ? 1 : 0) | (z1 >= m_level ? 2 : 0)
                | (z2 >= m_level ? 4 : 0) | (z3 >= m_level ? 8 : 0);
            switch (index) {
            case 0:
            case 15:
                break;
            case 1:
            case 14:
                addContourSegment(r, c, 0, 3);
                break;
            case 2:
            case 13:
                addContourSegment(r, c, 0, 1);
                break;
            case 3:
            case 12:
                addContourSegment(r, c, 3, 1);
                break;
            case 4:
            case 11:
                addContourSegment(r, c, 1, 2);
                break;
            case 6:
            case 9:
                addContourSegment(r, c, 0, 2);
                break;
            case 7:
            case 8:
                addContourSegment(r, c, 3, 2);
                break;
            case 5:
            case 10: {
                // Saddle: the high corners are z0 and z2 (case 5) or z1 and z3 (case 10).
                // With the centre below the level each high corner is cut off on its own;
                // with the centre at or above it they are joined across the cell and the
                // low corners are cut off instead.
                const bool centreBelow = (z0 + z1 + z2 + z3) / 4.0 < m_level;
                const bool cutOffZ0AndZ2 = (index == 5) == centreBelow;
                if (cutOffZ0AndZ2) {
                    addContourSegment(r, c, 0, 3);
                    addContourSegment(r, c, 1, 2);
                } else {
                    addContourSegment(r, c, 0, 1);
                    addContourSegment(r, c, 3, 2);
                }
                break;
            }
            default:
                break;
            }
        }
    }
}

std::pair<double, double> ContourTracer::edgeCrossingPoint(int row, int column, int edge) const
{
    const auto X = [this](int c) { return m_grid.xMin + (c + 0.5) * m_grid.dx; };
    const auto Y = [this](int r) { return m_grid.yMin + (r + 0.5) * m_grid.dy; };
    const double z0 = m_grid.at(row, column);
    const double z1 = m_grid.at(row, column + 1);
    const double z2 = m_grid.at(row + 1, column + 1);
    const double z3 = m_grid.at(row + 1, column);
    switch (edge) {
    case 0:
        return {DensityEstimator::interpolateCrossing(m_level, z0, z1, X(column), X(column + 1)),
                Y(row)};
    case 1:
        return {X(column + 1),
                DensityEstimator::interpolateCrossing(m_level, z1, z2, Y(row), Y(row + 1))};
    case 2:
        return {DensityEstimator::interpolateCrossing(m_level, z3, z2, X(column), X(column + 1)),
                Y(row + 1)};
    default:
        return {X(column),
                DensityEstimator::interpolateCrossing(m_level, z0, z3, Y(row), Y(row + 1))};
    }
}

ContourTracer::EdgeKey ContourTracer::edgeKey(int row, int column, int edge) const
{
    switch (edge) {
    case 0:
        return {row, column, 0};
    case 1:
        return {row, column, 1};
    case 2:
        return {row + 1, column, 0};
    default:
        return {row, column - 1, 1};
    }
}

void ContourTracer::addContourSegment(int row, int column, int edge1, int edge2)
{
    m_segments.push_back({edgeKey(row, column, edge1), edgeKey(row, column, edge2),
                          edgeCrossingPoint(row, column, edge1),
                          edgeCrossingPoint(row, column, edge2)});
}

std::vector<ContourPolyline> ContourTracer::joinSegments() const
{
    // Edge key -> the segments touching it, in creation order: a sorted list of
    // (key, segment) pairs, looked up by binary search.
    std::vector<std::pair<EdgeKey, int>> touching;
    touching.reserve(m_segments.size() * 2);
    for (int s = 0; s < static_cast<int>(m_segments.size()); ++s) {
        touching.emplace_back(m_segments[static_cast<size_t>(s)].first, s);
        touching.emplace_back(m_segments[static_cast<size_t>(s)].second, s);
    }
    std::sort(touching.begin(), touching.end(), [](const auto& a, const auto& b) {
        if (a.first < b.first)
            return true;
        if (b.first < a.first)
            return false;
        return a.second < b.second;
    });

    std::vector<char> visited(m_segments.size(), 0);
    // The first segment at `key` not yet visited, or -1.
    const auto nextSegment = [&](const EdgeKey& key) {
        auto it = std::lower_bound(touching.begin(), touching.end(), key,
                                   [](const auto& entry, const EdgeKey& k) { return entry.first < k; });
        for (; it != touching.end() && it->first == key; ++it) {
            if (!visited[static_cast<size_t>(it->second)])
                return it->second;
        }
        return -1;
    };
    // Follows the chain of segments from `key` and appends their far points to `points`.
    const auto walk = [&](EdgeKey key, ContourPolyline& points) {
        for (;;) {
            const int s = nextSegment(key);
            if (s < 0)
                return;
            visited[static_cast<size_t>(s)] = 1;
            const Segment& segment = m_segments[static_cast<size_t>(s)];
            if (segment.first == key) {
                points.push_back(segment.p2);
                key = segment.second;
            } else {
                points.push_back(segment.p1);
                key = segment.first;
            }
        }
    };

    std::vector<ContourPolyline> lines;
    for (size_t s = 0; s < m_segments.size(); ++s) {
        if (visited[s])
            continue;
        visited[s] = 1;
        const Segment& start = m_segments[s];
        ContourPolyline line{start.p1, start.p2};
        walk(start.second, line);
        ContourPolyline back;
        walk(start.first, back);
        if (!back.empty()) {
            std::reverse(back.begin(), back.end());
            back.insert(back.end(), line.begin(), line.end());
            line = std::move(back);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace Tervane3
