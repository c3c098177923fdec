"""Shared pieces of the Young's-modulus table generator.

Runs the axisymmetric finite-element model (sphere_in_tube.edp, FreeFEM) for one sphere
size, reads the surface displacement it writes, and turns a displacement into the
deformed cell contour with its projected area, perimeter and deformation.

Dimensionless units of one finite-element run: tube radius Rc = 1, mean flow velocity
U = 1, viscosity eta = 1, Young's modulus E = 1. Because the flow does not feel the small
deformation (one-way coupling) and the solid is linear, the physical contour of a sphere
of radius lam * Rc with modulus E is

    Rc * (x0 + t * u),   t = eta * U / (E * Rc),

with x0 the undeformed surface and u the displacement of the run: one run per sphere size
gives every modulus. Only numpy/scipy from Debian's system python are used.
"""

import math
import os
import subprocess
import tempfile

import numpy as np
from scipy.interpolate import CubicSpline
from scipy.optimize import brentq
from scipy.spatial import ConvexHull

HERE = os.path.dirname(os.path.abspath(__file__))
EDP = os.path.join(HERE, "sphere_in_tube.edp")

# Reference measurement the table is computed for.
CHANNEL_WIDTH_UM = 20.0      # side of the square channel, µm
FLOW_RATE_UL_S = 0.16        # total flow rate through the channel, µL/s
# The square channel is replaced by the circular tube of equal cross-section:
# same flow rate, same mean velocity, same open area around a cell on the axis.
TUBE_RADIUS_UM = CHANNEL_WIDTH_UM / math.sqrt(math.pi)
MEAN_VELOCITY_UM_S = FLOW_RATE_UL_S * 1e9 / CHANNEL_WIDTH_UM ** 2   # µL = 1e9 µm³

CONTOUR_POINTS = 4096        # points of the dense contour polygon


def run_model(lam, out, mode="flow", ref=1.0, length=6.0, extra=None, quiet=True):
    """Runs one finite-element solve and returns the parsed result."""
    cmd = ["FreeFem++", "-nw", "-ne", EDP, "-mode", mode, "-lam", repr(float(lam)),
           "-ref", repr(float(ref)), "-L", repr(float(length)), "-out", out]
    for key, value in (extra or {}).items():
        cmd += ["-" + key, repr(float(value))]
    env = dict(os.environ, OMP_NUM_THREADS="1", OPENBLAS_NUM_THREADS="1")
    with tempfile.TemporaryFile() as log:
        proc = subprocess.run(cmd, stdout=log, stderr=subprocess.STDOUT, env=env)
        if proc.returncode != 0 or not os.path.exists(out):
            log.seek(0)
            raise RuntimeError("FreeFem++ failed for lam=%g: %s" %
                               (lam, log.read().decode(errors="replace")[-2000:]))
    return read_result(out)


def read_result(path):
    """Returns (header dict, surface nodes as an (n, 4) array z r uz ur sorted by angle)."""
    header = {}
    rows = []
    with open(path) as f:
        for line in f:
            if line.startswith("#"):
                parts = line[1:].split()
                if len(parts) >= 2:
                    try:
                        header[parts[0]] = float(parts[1])
                    except ValueError:
                        header[parts[0]] = parts[1]
            elif line.strip():
                rows.append([float(v) for v in line.split()])
    nodes = np.array(rows)
    theta = np.arctan2(nodes[:, 1], nodes[:, 0])
    nodes = nodes[np.argsort(theta)]
    return header, nodes


class SurfaceDisplacement:
    """Displacement of the sphere surface as a smooth function of the polar angle."""

    def __init__(self, nodes, radius):
        z, r, uz, ur = nodes.T
        theta = np.arctan2(r, z)               # 0 (front pole, +z) .. pi (rear pole)
        # the full meridional section: mirror to negative r, periodic in theta
        inner = (theta > 1e-12) & (theta < np.pi - 1e-12)   # the poles are not mirrored
        th = np.concatenate([theta, 2 * np.pi - theta[inner][::-1]])
        uz_f = np.concatenate([uz, uz[inner][::-1]])
        ur_f = np.concatenate([ur, -ur[inner][::-1]])
        # close the period
        th = np.append(th, th[0] + 2 * np.pi)
        uz_f = np.append(uz_f, uz_f[0])
        ur_f = np.append(ur_f, ur_f[0])
        self.radius = radius
        self._uz = CubicSpline(th, uz_f, bc_type="periodic")
        self._ur = CubicSpline(th, ur_f, bc_type="periodic")
        self.theta0 = th[0]

    def contour(self, t, n=CONTOUR_POINTS):
        """Closed contour (n, 2) in the (z, signed r) plane for displacement factor t."""
        th = self.theta0 + np.linspace(0.0, 2 * np.pi, n, endpoint=False)
        # the r coordinate of the displacement belongs to the signed radius sin(theta)
        z = self.radius * np.cos(th) + t * self._uz(th)
        r = self.radius * np.sin(th) + t * self._ur(th)
        return np.column_stack([z, r])


def polygon_area_perimeter(pts):
    x, y = pts[:, 0], pts[:, 1]
    area = 0.5 * abs(np.dot(x, np.roll(y, -1)) - np.dot(y, np.roll(x, -1)))
    perim = np.sum(np.hypot(np.diff(x, append=x[0]), np.diff(y, append=y[0])))
    return area, perim


def features(pts):
    """Area, perimeter and deformation of a closed contour, as the measured features:
    from the convex hull of the contour. Also returns whether the contour is convex."""
    hull = ConvexHull(pts)
    hp = pts[hull.vertices]
    area, perim = polygon_area_perimeter(hp)
    a_raw, p_raw = polygon_area_perimeter(pts)
    deform = 1.0 - 2.0 * math.sqrt(math.pi * area) / perim
    convex = abs(a_raw - area) <= 1e-9 * area and abs(p_raw - perim) <= 1e-9 * perim
    return area, perim, deform, convex


def circle_offset(n=CONTOUR_POINTS):
    """Deformation of the undeformed contour polygon (a regular n-gon), subtracted so that
    an undeformed sphere has deformation 0 to rounding."""
    area = 0.5 * n * math.sin(2 * math.pi / n)
    perim = 2 * n * math.sin(math.pi / n)
    return 1.0 - 2.0 * math.sqrt(math.pi * area) / perim


def shape(surface, t):
    """(area / Rc^2, deformation, convex) of the contour with displacement factor t."""
    area, _, deform, convex = features(surface.contour(t))
    return area, deform - circle_offset(), convex


def t_for_deformation(surface, target, t_max=1e3):
    """Smallest displacement factor t at which the deformation reaches `target`."""
    if target <= 0.0:
        return 0.0
    lo, hi = 0.0, 1e-3
    while shape(surface, hi)[1] < target:
        lo, hi = hi, hi * 2.0
        if hi > t_max:
            raise ValueError("deformation %g not reached" % target)
    return brentq(lambda t: shape(surface, t)[1] - target, lo, hi, xtol=1e-14, rtol=1e-12)
