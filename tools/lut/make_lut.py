#!/usr/bin/python3
"""Computes the Young's-modulus look-up table "LUT_LE_2D_FEM.txt" from the axisymmetric
finite-element model in sphere_in_tube.edp.

    /usr/bin/python3 tools/lut/make_lut.py                  # the shipped table (~3 min)
    /usr/bin/python3 tools/lut/make_lut.py --coarse --out /tmp/lut.txt   # quick smoke run

Steps:
  1. one flow + elasticity solve per sphere size lam = radius / tube radius (cached in
     --cache, reused when the same size and mesh were solved before);
  2. for every size and every table deformation D <= D_LIMIT the displacement factor t
     with deformation D (the deformation grows monotonically with t), the projected area
     of that contour, and the modulus E = eta U / (Rc t);
  3. at every table deformation, ln E as a smooth function of the area across the sizes,
     evaluated at the table areas;
  4. above D_LIMIT (where the linear kinematics stops being credible, see the write-up)
     the modulus continues along the deformation axis as a power law whose exponent is
     the local one of the model at D_LIMIT; the row D = 0 (rigid cells, infinite
     modulus) holds ZERO_ROW_FACTOR times the modulus of the first row.
Only Debian packages are used: freefem++, python3-numpy, python3-scipy.
"""

import argparse
import hashlib
import json
import math
import os
import sys
from concurrent.futures import ProcessPoolExecutor

import numpy as np
from scipy.interpolate import CubicSpline

sys.dont_write_bytecode = True   # no __pycache__ inside the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lutmodel as model  # noqa: E402

# ----------------------------------------------------------------- table definition
# Sphere sizes solved (radius / tube radius); they cover the table's areas at every
# tabulated deformation.
LAMBDAS = [round(0.16 + 0.01 * k, 2) for k in range(74)]          # 0.16 .. 0.89
LAMBDAS_COARSE = [round(0.16 + 0.04 * k, 2) for k in range(19)]   # 0.16 .. 0.88
# Area axis: 65 values, step 275/64 µm² (exact in binary, so the application's
# normalised coordinates k/64 are exact and its Delaunay predicates decide exactly).
AREA_MIN, AREA_MAX, N_AREA = 15.0, 290.0, 65
# Deformation axis: D_j = D_MAX (j/64)^2, j = 0..64, dense where the modulus varies fast
# (E ~ D^-1/2 at small D); also exact in binary after normalisation.
D_MAX, N_DEF = 0.25, 65
# Above this deformation the table continues the model by a power law (see header).
D_LIMIT = 0.11
ZERO_ROW_FACTOR = 10.0
# Newtonian medium of the simulation, mPa·s: the viscosity the application's own model
# (Herold-2017) gives for TavrisolB at 23 °C in the 20 µm channel at 0.16 µL/s, so that a
# typical measurement is modelled at its own viscosity and the isoelastic lines, drawn for
# fixed table moduli, fall where its cells lie. The application scales every modulus with
# the measurement's viscosity / this one; in the model the deformation depends on
# eta U / E only, so another reference viscosity scales every modulus and changes nothing
# the application computes.
REFERENCE_MEDIUM = "TavrisolB at 23 degC in the 20 um channel at 0.16 uL/s (Herold-2017 model)"


def herold_tavrisolb_viscosity_mpas(channel_width_um, flow_rate_ul_s, celsius):
    """The application's Herold-2017 viscosity of TavrisolB, in its own grouping of the
    operations (calc/EModulusViscosity.cpp), so that the value repeats to the last digit."""
    w = channel_width_um * 1e-6
    shear_rate = (flow_rate_ul_s * 7.1136 * 1e-9) / (w * w * w)
    g = (shear_rate + shear_rate) / 3.0
    return (1.706549572791479 * g) ** (0.634 - 1.0) * 0.36 * (celsius / 23.6) ** (-0.866) * 1000.0


VISCOSITY_MPAS = herold_tavrisolb_viscosity_mpas(20.0, 0.16, 23.0)   # 4.564993419756291
POISSON_RATIO = 0.5


def area_axis():
    step = (AREA_MAX - AREA_MIN) / (N_AREA - 1)
    return np.array([AREA_MIN + k * step for k in range(N_AREA)])


def deform_axis():
    n = N_DEF - 1
    return np.array([D_MAX * (j * j) / (n * n) for j in range(N_DEF)])


def modulus_kpa(t, viscosity_mpas=VISCOSITY_MPAS, tube_radius_um=model.TUBE_RADIUS_UM,
                mean_velocity_um_s=model.MEAN_VELOCITY_UM_S):
    """E = eta U / (Rc t) in kPa (eta in mPa·s, U in µm/s, Rc in µm)."""
    return viscosity_mpas * 1e-3 * mean_velocity_um_s / (tube_radius_um * t) / 1000.0


# ----------------------------------------------------------------- per-size work
def solve_size(args):
    lam, ref, cache = args
    out = os.path.join(cache, "lam_%.4f_ref_%g.txt" % (lam, ref))
    if os.path.exists(out):
        header, nodes = model.read_result(out)
    else:
        tmp = out + ".part"
        model.run_model(lam, tmp, ref=ref)
        os.replace(tmp, out)
        header, nodes = model.read_result(out)
    if not np.any(nodes[:, 2:]):
        raise RuntimeError("zero displacement for lam=%g (failed solve)" % lam)
    return lam, header, nodes


def shapes_for_size(args):
    """Displacement factor and area (Rc² units) at each target deformation, plus checks."""
    lam, nodes, targets = args
    surface = model.SurfaceDisplacement(nodes, lam)
    ts, areas = [], []
    for d in targets:
        t = model.t_for_deformation(surface, d)
        ts.append(t)
        areas.append(model.shape(surface, t)[0])
    # checks at the largest computed deformation
    t_lim = ts[-1]
    contour = surface.contour(t_lim)
    th = surface.theta0 + np.linspace(0.0, 2 * np.pi, 2048, endpoint=False)
    dz, dr = surface._uz(th, 1), surface._ur(th, 1)
    tz, tr = -lam * np.sin(th), lam * np.cos(th)
    stretch = np.min(((tz + t_lim * dz) * tz + (tr + t_lim * dr) * tr) / (lam * lam))
    return lam, np.array(ts), np.array(areas), {
        "min_tangential_stretch": float(stretch),
        "max_radius_over_tube": float(np.max(np.abs(contour[:, 1]))),
    }


def compute_table(lambdas, ref, cache, jobs, log=print):
    os.makedirs(cache, exist_ok=True)
    with ProcessPoolExecutor(jobs) as ex:
        solved = list(ex.map(solve_size, [(lam, ref, cache) for lam in lambdas]))
    log("solved %d sizes" % len(solved))

    areas_tab = area_axis()
    defs_tab = deform_axis()
    j_lim = int(np.searchsorted(defs_tab, D_LIMIT, side="right")) - 1   # last computed row
    targets = list(defs_tab[1:j_lim + 1]) + [D_LIMIT * 0.98, D_LIMIT]

    with ProcessPoolExecutor(jobs) as ex:
        shaped = list(ex.map(shapes_for_size, [(lam, nodes, targets) for lam, _, nodes in solved]))
    lam_arr = np.array([s[0] for s in shaped])
    t_mat = np.array([s[1] for s in shaped])                               # (size, target)
    a_mat = np.array([s[2] for s in shaped]) * model.TUBE_RADIUS_UM ** 2    # µm²
    checks = {("%.2f" % s[0]): s[3] for s in shaped}

    # modulus at the table areas for every computed deformation
    e_cols = []
    for k in range(len(targets)):
        a_k = a_mat[:, k]
        if np.any(np.diff(a_k) <= 0):
            raise RuntimeError("area not increasing with size at D=%g" % targets[k])
        if a_k[0] > AREA_MIN or a_k[-1] < AREA_MAX:
            raise RuntimeError("sizes do not cover the areas at D=%g (%g..%g)"
                               % (targets[k], a_k[0], a_k[-1]))
        spline = CubicSpline(a_k, np.log(modulus_kpa(t_mat[:, k])))
        e_cols.append(np.exp(spline(areas_tab)))
    e_cols = np.array(e_cols)                      # (target, area)
    e_lim = e_cols[-1]
    beta = np.log(e_cols[-2] / e_cols[-1]) / np.log(1.0 / 0.98)

    table = np.zeros((N_DEF, N_AREA))
    table[1:j_lim + 1] = e_cols[:j_lim]
    table[0] = ZERO_ROW_FACTOR * table[1]
    for j in range(j_lim + 1, N_DEF):
        table[j] = e_lim * (defs_tab[j] / D_LIMIT) ** (-beta)

    info = {
        "sizes": [float(x) for x in lam_arr],
        "last_computed_row": j_lim,
        "continuation_exponent_min": float(beta.min()),
        "continuation_exponent_max": float(beta.max()),
        "checks_at_limit": checks,
        "flow": {("%.2f" % lam): {k: header[k] for k in ("K_translate", "K_poiseuille", "V_over_Umax")}
                 for lam, header, _ in solved},
    }
    return areas_tab, defs_tab, table, info


# ----------------------------------------------------------------- output
def metadata(ref, coarse):
    return {
        "identifier": "Tervane3 LE-2D-FEM axisymmetric one-way linear-elastic table",
        "date": "2026-12-11",
        "channel_width": model.CHANNEL_WIDTH_UM,
        "flow_rate": model.FLOW_RATE_UL_S,
        "fluid_viscosity": VISCOSITY_MPAS,
        "fluid_viscosity_of": REFERENCE_MEDIUM,
        "column_names": ["area_um", "deform", "emodulus"],
        "column_units": ["um^2", "1", "kPa"],
        "model": "linear-elastic incompressible sphere on the axis of a circular tube "
                 "(radius W/sqrt(pi), same cross-section as the square channel of width W), "
                 "steady Stokes flow of a Newtonian medium at the mean velocity Q/W^2, "
                 "force-free sphere, one-way coupling; area and deformation from the convex "
                 "hull of the deformed meridional contour",
        "poisson_ratio": POISSON_RATIO,
        "tube_radius_um": model.TUBE_RADIUS_UM,
        "computed_up_to_deformation": D_LIMIT,
        "above_that": "power-law continuation along the deformation axis with the local "
                      "exponent of the model at the limit",
        "zero_deformation_row": "%g x the modulus of the first non-zero row" % ZERO_ROW_FACTOR,
        "mesh_refinement": ref,
        "coarse_smoke_run": bool(coarse),
        "generator": "tools/lut/make_lut.py (FreeFEM model tools/lut/sphere_in_tube.edp)",
        "licence": "CC BY 4.0",
    }


def write_table(path, areas, defs, table, meta):
    lines = [
        "# Young's-modulus look-up table: modulus (kPa) of a cell with projected area",
        "# area_um (um^2) and deformation deform in a square channel of width",
        "# %g um at %g uL/s in a medium of %.4g mPa s. Computed by our own finite-element"
        % (meta["channel_width"], meta["flow_rate"], meta["fluid_viscosity"]),
        "# model; see LUT_LE_2D_FEM.md next to this file. Licence: CC BY 4.0.",
        "#",
        "# BEGIN METADATA",
    ]
    for line in json.dumps(meta, indent=2, sort_keys=True).splitlines():
        lines.append("# " + line)
    lines.append("# END METADATA")
    lines.append("#")
    lines.append("area_um deform emodulus")
    for i, a in enumerate(areas):
        for j, d in enumerate(defs):
            lines.append("%s %s %s" % (fmt_exact(a), fmt_exact(d), "%.7g" % table[j, i]))
    text = "\n".join(lines) + "\n"
    with open(path, "w", newline="\n") as f:
        f.write(text)
    return hashlib.sha256(text.encode()).hexdigest()


def fmt_exact(v):
    """Fixed-point text that reads back as the same double (the grid values are exact
    binary fractions with at most 14 decimals)."""
    s = "%.14f" % v
    s = s.rstrip("0")
    if s.endswith("."):
        s += "0"
    assert float(s) == v, (v, s)
    return s


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    repo = os.path.dirname(os.path.dirname(here))
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--out", default=os.path.join(repo, "data", "LUT_LE_2D_FEM.txt"))
    p.add_argument("--cache", default=os.path.join(repo, "build-lut", "cache"))
    p.add_argument("--ref", type=float, default=1.0, help="mesh refinement (default 1)")
    p.add_argument("--jobs", type=int, default=max(1, min(6, (os.cpu_count() or 2) - 1)))
    p.add_argument("--coarse", action="store_true",
                   help="smoke run: 19 sizes on the coarsest mesh (ref 0.5)")
    p.add_argument("--info", help="also write the run's diagnostics as JSON here")
    args = p.parse_args()

    lambdas = LAMBDAS_COARSE if args.coarse else LAMBDAS
    ref = 0.5 if args.coarse else args.ref
    areas, defs, table, info = compute_table(lambdas, ref, args.cache, args.jobs)
    if np.any(~np.isfinite(table)) or np.any(table <= 0):
        raise SystemExit("non-finite or non-positive modulus in the table")
    if np.any(np.diff(table, axis=0) >= 0):
        raise SystemExit("modulus does not decrease with deformation everywhere")
    digest = write_table(args.out, areas, defs, table, metadata(ref, args.coarse))
    print("wrote %s: %d rows, modulus %.4g .. %.4g kPa, sha256 %s"
          % (args.out, table.size, table.min(), table.max(), digest))
    print("continuation exponent %.3f .. %.3f" % (info["continuation_exponent_min"],
                                                  info["continuation_exponent_max"]))
    if args.info:
        with open(args.info, "w") as f:
            json.dump(info, f, indent=1, sort_keys=True)


if __name__ == "__main__":
    main()
