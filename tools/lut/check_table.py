#!/usr/bin/python3
"""Checks a Young's-modulus table file the way the application will use it.

Reads the file with the application's rules (metadata block, header line, rows of three
numbers), triangulates it in normalised coordinates by Bowyer-Watson insertion in file
order with the same predicates, and then checks:
  - the triangles tile the convex hull of the rows (their areas add up to the hull area
    and no triangle is degenerate or inverted);
  - the modulus decreases along the deformation axis at every area;
  - the eleven isoelastic lines 0.2 .. 3.0 kPa at the table's own conditions, found by
    the application's walk (151 areas, 50-step scan, bisection), and the share of the
    area range each one covers.

    /usr/bin/python3 tools/lut/check_table.py data/LUT_LE_2D_FEM.txt
"""

import json
import math
import re
import sys

import numpy as np
from scipy.spatial import ConvexHull

MODULI = [0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.9, 1.2, 1.5, 2.0, 3.0]


def read_table(path):
    meta = {"channel_width": 20.0, "flow_rate": 0.16, "fluid_viscosity": 1.002}
    rows, buf, inblock, header = [], [], False, False
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if "BEGIN METADATA" in line:
                buf, inblock = [], True
            elif "END METADATA" in line:
                text = re.sub(r"^#\s*", "", "".join(buf), flags=re.M)
                doc = json.loads(text)
                if isinstance(doc, dict):
                    for k in ("channel_width", "flow_rate", "fluid_viscosity"):
                        if k in doc:
                            meta[k] = float(doc[k])
                inblock = False
            elif inblock:
                buf.append((line[1:] if line.startswith("#") else line) + "\n")
            elif line.startswith("#") or not line.strip():
                continue
            elif not header and ("area" in line or "deform" in line):
                header = True
            else:
                parts = line.split()
                if len(parts) > 2:
                    try:
                        rows.append([float(p) for p in parts[:3]])
                    except ValueError:
                        pass
    return meta, np.array(rows)


def triangulate(x, y):
    """Bowyer-Watson in insertion order with the super-triangle (-10,-10) (20,-10) (-10,20)."""
    n = len(x)
    px = np.concatenate([x, [-10.0, 20.0, -10.0]])
    py = np.concatenate([y, [-10.0, -10.0, 20.0]])

    def oriented(a, b, c):
        cross = (px[b] - px[a]) * (py[c] - py[a]) - (px[c] - px[a]) * (py[b] - py[a])
        return (a, b, c) if cross >= 0 else (a, c, b)

    tris = np.array([oriented(n, n + 1, n + 2)], dtype=np.int64)
    for p in range(n):
        dx = px[tris] - px[p]
        dy = py[tris] - py[p]
        s = dx * dx + dy * dy
        det = (dx[:, 0] * (dy[:, 1] * s[:, 2] - s[:, 1] * dy[:, 2])
               - dy[:, 0] * (dx[:, 1] * s[:, 2] - s[:, 1] * dx[:, 2])
               + s[:, 0] * (dx[:, 1] * dy[:, 2] - dy[:, 1] * dx[:, 2]))
        bad = det > 0
        bad_tris = tris[bad]
        edges = []
        count = {}
        for t in bad_tris:
            for e in ((t[0], t[1]), (t[1], t[2]), (t[2], t[0])):
                key = (min(e), max(e))
                count[key] = count.get(key, 0) + 1
                edges.append(e)
        boundary = [e for e in edges if count[(min(e), max(e))] == 1]
        new = [oriented(p, e0, e1) for e0, e1 in boundary]
        tris = np.concatenate([tris[~bad], np.array(new, dtype=np.int64).reshape(-1, 3)])
    keep = np.all(tris < n, axis=1)
    return tris[keep]


class Interpolator:
    def __init__(self, area, deform, emod):
        self.amin, self.amax = area.min(), area.max()
        self.dmin, self.dmax = deform.min(), deform.max()
        self.x = (area - self.amin) / (self.amax - self.amin)
        self.y = (deform - self.dmin) / (self.dmax - self.dmin)
        self.e = emod
        self.tris = triangulate(self.x, self.y)
        self.cells = [[] for _ in range(10000)]
        for j, t in enumerate(self.tris):
            xs, ys = self.x[t], self.y[t]
            ix0, ix1 = [min(99, max(0, int(v * 100))) for v in (xs.min(), xs.max())]
            iy0, iy1 = [min(99, max(0, int(v * 100))) for v in (ys.min(), ys.max())]
            for iy in range(iy0, iy1 + 1):
                for ix in range(ix0, ix1 + 1):
                    self.cells[iy * 100 + ix].append(j)

    def __call__(self, area, deform):
        u = (area - self.amin) / (self.amax - self.amin)
        v = (deform - self.dmin) / (self.dmax - self.dmin)
        if u < 0 or u > 1 or v < 0 or v > 1:
            return math.nan
        ix = min(99, max(0, int(u * 100)))
        iy = min(99, max(0, int(v * 100)))
        for j in self.cells[iy * 100 + ix]:
            a, b, c = self.tris[j]
            x0, y0, x1, y1, x2, y2 = self.x[a], self.y[a], self.x[b], self.y[b], self.x[c], self.y[c]
            det = (y0 - y2) * (x2 - x1) + (y1 - y2) * (x0 - x2)
            if abs(det) < 1e-20:
                continue
            l0 = ((v - y2) * (x2 - x1) + (u - x2) * (y1 - y2)) / det
            if l0 < -1e-10:
                continue
            l1 = ((y2 - y0) * (u - x2) + (v - y2) * (x0 - x2)) / det
            l2 = 1 - l0 - l1
            if l1 < -1e-10 or l2 < -1e-10:
                continue
            return l2 * self.e[c] + (l0 * self.e[a] + l1 * self.e[b])
        return math.nan


def isoelastics(T):
    """Lines at the table's own conditions (no scaling, no pixelation offset)."""
    lines = []
    step = (T.amax - T.amin) / 150
    dstep = (T.dmax - T.dmin) / 50
    for o in MODULI:
        pts = []
        a = T.amin
        while a <= T.amax:
            w, lo, found = T(a, T.dmin), T.dmin, False
            for i in range(1, 51):
                hi = T.dmin + i * dstep
                e = T(a, hi)
                if not math.isnan(w) and not math.isnan(e) and (e - o) * (w - o) <= 0:
                    found = True
                    break
                lo, w = hi, e
            if found:
                elo = T(a, lo)
                if not math.isnan(elo):
                    for _ in range(40):
                        mid = (hi + lo) * 0.5
                        e = T(a, mid)
                        if math.isnan(e):
                            break
                        if (e - o) * (elo - o) <= 0:
                            hi = mid
                        else:
                            lo, elo = mid, e
                        if abs(hi - lo) < 1e-8:
                            break
                pts.append((a, (hi + lo) * 0.5))
            a += step
        lines.append((o, pts))
    return lines


def main(path):
    meta, rows = read_table(path)
    area, deform, emod = rows.T
    print("metadata:", meta)
    print("rows: %d, area %g..%g, deformation %g..%g, modulus %.4g..%.4g kPa"
          % (len(rows), area.min(), area.max(), deform.min(), deform.max(), emod.min(), emod.max()))
    pairs = set(zip(area.tolist(), deform.tolist()))
    print("duplicate points:", len(rows) - len(pairs))
    T = Interpolator(area, deform, emod)
    x, y, tr = T.x, T.y, T.tris
    signed = 0.5 * ((x[tr[:, 1]] - x[tr[:, 0]]) * (y[tr[:, 2]] - y[tr[:, 0]])
                    - (x[tr[:, 2]] - x[tr[:, 0]]) * (y[tr[:, 1]] - y[tr[:, 0]]))
    hull = ConvexHull(np.column_stack([x, y])).volume
    print("triangles: %d, smallest signed area %.3g, area sum %.15g, hull %.15g"
          % (len(tr), signed.min(), signed.sum(), hull))
    ok = signed.min() > 0 and abs(signed.sum() - hull) < 1e-12
    # monotonic along deformation at every area
    mono = True
    for a in np.unique(area):
        sel = area == a
        order = np.argsort(deform[sel])
        mono &= bool(np.all(np.diff(emod[sel][order]) < 0))
    print("decreasing along deformation at every area:", mono)
    rng = T.amax - T.amin
    for o, pts in isoelastics(T):
        if pts:
            cover = (pts[-1][0] - pts[0][0]) / rng
            print("  %.1f kPa: %3d points, area %.1f..%.1f (%.0f %% of the range), "
                  "deformation %.4f..%.4f" % (o, len(pts), pts[0][0], pts[-1][0], 100 * cover,
                                              min(p[1] for p in pts), max(p[1] for p in pts)))
        else:
            print("  %.1f kPa: absent" % o)
    return 0 if ok and mono else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
