#!/usr/bin/python3
"""Smoke run of the two-way coupled, geometrically nonlinear model (coupled_cell_in_tube.edp)
at a few (size, deformation) points, with the one-way model (sphere_in_tube.edp) beside it.

For every sphere size lam the one-way model gives the load factor t = eta U / (E Rc) at
which it reaches each target deformation; the coupled model is then run at those t in
increasing order (each point continues from the shape of the one before) and its
converged shapes are measured as the table measures them (convex hull of the meridional
contour, area and deformation). Prints per point: convergence, fixed-point iterations and
residual history, Newton steps, CPU time, force and volume balance, and the coupled
against the one-way deformation and modulus.

    /usr/bin/python3 tools/lut/coupled_smoke.py [--sizes 0.3,0.6,0.85]
        [--deforms 0.001,0.002,0.005] [--jobs 3] [--work /tmp/lut_coupled]

Cached: runs whose output files exist in --work are read, not repeated. Only Debian
packages are used (freefem++, python3-numpy, python3-scipy).
"""

import argparse
import hashlib
import os
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np

sys.dont_write_bytecode = True   # no __pycache__ inside the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lutmodel as model  # noqa: E402

EDP = os.path.join(model.HERE, "coupled_cell_in_tube.edp")


def run_coupled(lam, ts, prefix, ref=1.0, extra=(), report_only=False, deforms=None):
    """Runs the coupled model for one size over the load factors ts (cached by prefix); with
    deforms, under deformation control at those deformations (ts are the guesses)."""
    done = prefix + "_done"
    wall = float("nan")
    if report_only:
        if os.path.exists(done):
            with open(done) as f:
                wall = float(f.read())
    elif not os.path.exists(done):
        tfile = prefix + "_t.txt"
        with open(tfile, "w") as f:
            f.write("%d\n" % len(ts) + "".join("%.12g\n" % t for t in ts))
        cmd = ["FreeFem++", "-nw", "-ne", EDP, "-lam", repr(float(lam)), "-ref",
               repr(float(ref)), "-tfile", tfile, "-out", prefix] + list(extra)
        if deforms is not None:
            dfile = prefix + "_d.txt"
            with open(dfile, "w") as f:
                f.write("%d\n" % len(deforms) + "".join("%.12g\n" % d for d in deforms))
            cmd += ["-dfile", dfile]
        env = dict(os.environ, OMP_NUM_THREADS="1", OPENBLAS_NUM_THREADS="1")
        t0 = time.time()
        with open(prefix + ".log", "w") as log:
            proc = subprocess.run(cmd, stdout=log, stderr=subprocess.STDOUT, env=env)
        wall = time.time() - t0
        if proc.returncode != 0:
            raise RuntimeError("FreeFem++ failed for lam=%g, see %s.log" % (lam, prefix))
        with open(done, "w") as f:
            f.write("%.3f\n" % wall)
    else:
        with open(done) as f:
            wall = float(f.read())
    points = []
    for k in range(len(ts)):
        path = "%s_%d.txt" % (prefix, k)
        if not os.path.exists(path):
            break
        with open(path) as f:
            if "# converged" not in f.read():     # the point still being solved
                break
        header, nodes = model.read_result(path)
        iters = []
        with open(path) as f:
            for line in f:
                if line.startswith("# iter "):
                    iters.append([float(v) for v in line.split()[2:]])
        points.append((header, nodes, np.array(iters)))
    return points, wall


def one_way(lam, work, ref=1.0):
    path = os.path.join(work, "oneway_lam_%.4f_ref_%g.txt" % (lam, ref))
    if not os.path.exists(path):
        model.run_model(lam, path + ".part", ref=ref)
        os.replace(path + ".part", path)
    return model.SurfaceDisplacement(model.read_result(path)[1], lam)


def main():
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--sizes", default="0.3,0.6,0.85")
    p.add_argument("--deforms", default="0.001,0.002,0.005",
                   help="target deformations of the one-way model, increasing")
    p.add_argument("--ref", type=float, default=1.0)
    p.add_argument("--jobs", type=int, default=3)
    p.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "lut_coupled"))
    p.add_argument("--spring", type=float, default=None,
                   help="surface spring stiffness of the elastic solves (units mu/a)")
    p.add_argument("--slide", action="store_true",
                   help="the fluid's surface nodes slide along the contour (experimental)")
    p.add_argument("--report", action="store_true",
                   help="run nothing, report the points already in --work (also of a "
                        "sweep still running)")
    p.add_argument("--dctl", action="store_true",
                   help="deformation control: the coupled model is solved at the target "
                        "deformations with t as an unknown (passes turning points of D(t)); "
                        "the one-way model's t are the first guesses")
    p.add_argument("--old", action="store_true",
                   help="the earlier design: moved fluid mesh and Aitken's relaxation")
    p.add_argument("--kappa", type=float, default=None,
                   help="pointwise volume penalty of the elastic solves (units mu)")
    args = p.parse_args()
    os.makedirs(args.work, exist_ok=True)
    sizes = [float(s) for s in args.sizes.split(",")]
    targets = [float(d) for d in args.deforms.split(",")]
    extra = []
    if args.spring is not None:
        extra += ["-spring", repr(args.spring)]
    if args.kappa is not None:
        extra += ["-kappa", repr(args.kappa)]
    if args.slide:
        extra += ["-slide", "1"]
    if args.old:
        extra += ["-remesh", "0", "-iqn", "0"]

    def job(lam):
        surf = one_way(lam, args.work, args.ref)
        ts = []
        for d in targets:
            try:
                ts.append(model.t_for_deformation(surf, d))
            except ValueError:      # beyond what the one-way model reaches for this size
                if not args.dctl:
                    break
                ts.append(ts[-1])   # only a guess under deformation control
        deforms = targets if args.dctl else None
        key = hashlib.sha256(repr((ts, extra, deforms)).encode()).hexdigest()[:10]
        prefix = os.path.join(args.work, "coupled_lam_%.4f_ref_%g_%s" % (lam, args.ref, key))
        points, wall = run_coupled(lam, ts, prefix, args.ref, extra, args.report, deforms)
        return lam, surf, ts, points, wall

    with ThreadPoolExecutor(args.jobs) as ex:
        results = list(ex.map(job, sizes))

    rc2 = model.TUBE_RADIUS_UM ** 2
    print("| lam | %s | t | converged | iterations | Newton | CPU s | "
          % ("D target (contour polygon)" if args.dctl else "D target (one-way)") +
          "final residual | D coupled | area coupled µm² | area one-way µm² | "
          "E coupled / E one-way at equal D | net force | stress force / F0 | "
          "volume (solid, enclosed) | mesh builds so far in the sweep, smallest fluid angle |")
    print("|" + "---|" * 16)
    for lam, surf, ts, points, wall in results:
        for k, target in enumerate(targets):
            if k >= len(ts):
                print("| %.2f | %g | — | not reached by the one-way model |%s" % (lam, target, " |" * 12))
                continue
            t = ts[k]
            if k < len(points) and args.dctl:
                t = points[k][0].get("t_solved", t)
            if k >= len(points):
                print("| %.2f | %g | %.5g | not run (sweep stopped) |%s" % (lam, targets[k], t, " |" * 12))
                continue
            h, nodes, iters = points[k]
            conv = int(h["converged"]) == 1
            a_ow, d_ow, _ = model.shape(surf, t if t > 0 else ts[k])
            if conv:
                cs = model.SurfaceDisplacement(nodes, lam)
                a_c, d_c, _ = model.shape(cs, 1.0)
                # the one-way model's load factor at the coupled deformation: moduli at equal D
                ratio = model.t_for_deformation(surf, d_c) / t
                shape = "%.6f | %.3f | %.3f | %.5f" % (d_c, a_c * rc2, a_ow * rc2, ratio)
            else:
                shape = "— | — | %.3f | —" % (a_ow * rc2)
            iters_text = "%d" % h["iterations"]
            if h.get("continuation_solves", 1) > 1:
                iters_text += " (last of %d solves)" % h["continuation_solves"]
            mesh = "%d, %.1f°" % (h["mesh_builds"], h["min_fluid_angle_deg"]) if "mesh_builds" in h else "—"
            print("| %.2f | %g | %.5g | %s | %s | %d | %.1f | %.1e | %s | %.1e | %.1e | %.1e, %.1e | %s |"
                  % (lam, targets[k], t, "yes" if conv else "no (%s)" % h["stop_reason"],
                     iters_text, h["newton_steps"], h["cpu_seconds"], h["residual"], shape,
                     h["net_axial_load_relative"], h["stress_force_over_F0"],
                     h["volume_solid_relative"], h["volume_enclosed_relative"], mesh))
    print()
    print("Fixed-point residual per iteration (max surface displacement change / max surface "
          "displacement):")
    for lam, surf, ts, points, wall in results:
        for k, (h, nodes, iters) in enumerate(points):
            if len(iters):
                print("- lam %.2f, D %g: %s" % (lam, targets[k],
                                                " ".join("%.1e" % r for r in iters[:, 1])))
        print("- lam %.2f: wall time of the sweep %.1f s" % (lam, wall))


if __name__ == "__main__":
    main()
