#!/usr/bin/python3
"""Validation runs of the finite-element model behind the Young's-modulus table.

Prints Markdown tables (also written to --out) with:
  1. mesh and tube-length convergence of drag, sphere velocity and of the modulus that
     gives a deformation of 0.01 / 0.05 / 0.1 at the reference conditions;
  2. the drag of a rigid sphere in a tube against the classical wall-correction results
     (sphere translating along the axis; sphere held in Poiseuille flow; free sphere);
  3. the elastic solver against closed-form solutions: a sphere under uniform pressure
     (compressible) and an incompressible sphere loaded by the surface traction of an
     exact polynomial Stokes/elasticity field built from the solid harmonic r^2 P2;
  4. linearity of the displacement in 1/E;
  5. the scaling of the modulus with viscosity, flow rate and channel width, from
     dimensional runs, against the rule E ~ eta * Q / W^3 at equal W-scaled area.

    /usr/bin/python3 tools/lut/validate.py [--jobs 6] [--out build-lut/validation.md]
"""

import argparse
import math
import os
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

import numpy as np

sys.dont_write_bytecode = True   # no __pycache__ inside the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lutmodel as model  # noqa: E402
import make_lut  # noqa: E402

OUT = []


def emit(line=""):
    print(line)
    OUT.append(line)


def run(job):
    lam, mode, ref, length, extra, tag = job
    path = os.path.join(WORK, "%s_%s_%g_%g_%g.txt" % (tag, mode, lam, ref, length))
    if os.path.exists(path):            # finished in an earlier, interrupted run
        return job, model.read_result(path)
    model.run_model(lam, path + ".part", mode=mode, ref=ref, length=length, extra=extra)
    os.replace(path + ".part", path)
    return job, model.read_result(path)


def modulus_at(nodes, lam, deform):
    s = model.SurfaceDisplacement(nodes, lam)
    return make_lut.modulus_kpa(model.t_for_deformation(s, deform))


def haberman_sayre_translate(l):
    return (1 - 0.75857 * l ** 5) / (1 - 2.1050 * l + 2.0865 * l ** 3 - 1.7068 * l ** 5
                                     + 0.72603 * l ** 6)


def haberman_sayre_poiseuille(l):
    return (1 - 2.0 / 3.0 * l ** 2 - 0.20217 * l ** 5) / (
        1 - 2.1050 * l + 2.0865 * l ** 3 - 1.7068 * l ** 5 + 0.72603 * l ** 6)


def bohlin_translate(l):
    return 1.0 / (1 - 2.10444 * l + 2.08877 * l ** 3 - 0.94813 * l ** 5 - 1.372 * l ** 6
                  + 3.87 * l ** 8 - 4.19 * l ** 10)


def main():
    global WORK
    p = argparse.ArgumentParser()
    p.add_argument("--jobs", type=int, default=6)
    p.add_argument("--out", default=None)
    p.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "lut_validate"),
                   help="folder for the solver outputs; runs found there are reused")
    args = p.parse_args()
    WORK = args.work
    os.makedirs(WORK, exist_ok=True)
    pool = ThreadPoolExecutor(args.jobs)

    # ---------------------------------------------------------------- 1. convergence
    conv_l = (0.3, 0.6, 0.85)
    refs = (0.5, 1, 2, 3)
    jobs = [(l, "flow", r, 6.0, None, "conv") for l in conv_l for r in refs]
    jobs += [(l, "flow", 2, 10.0, None, "conv") for l in conv_l]
    res = dict((j[:4], r) for j, r in pool.map(run, jobs))
    emit("### Mesh and tube-length convergence")
    emit()
    emit("Relative change against the finest mesh (ref 3, tube half-length 6 Rc); "
         "E(D) is the table modulus (kPa, reference conditions) that gives deformation D.")
    emit()
    emit("| lam | ref | fluid triangles | K (translating) | V/Umax | E(0.01) | E(0.05) | E(0.1) |")
    emit("|---|---|---|---|---|---|---|---|")
    for l in conv_l:
        fine = res[(l, "flow", 3, 6.0)]
        fe = [modulus_at(fine[1], l, d) for d in (0.01, 0.05, 0.1)]
        for r, L in [(r, 6.0) for r in refs] + [(2, 10.0)]:
            h, n = res[(l, "flow", r, L)]
            e = [modulus_at(n, l, d) for d in (0.01, 0.05, 0.1)]
            label = "%g" % r if L == 6.0 else "%g, L=10" % r
            if r == 3 and L == 6.0:
                emit("| %.2f | %s | %d | %.5f | %.5f | %.5g | %.5g | %.5g |"
                     % (l, label, h["fluid_triangles"], h["K_translate"], h["V_over_Umax"], *e))
            else:
                rel = lambda a, b: "%+.1e" % (a / b - 1)
                emit("| %.2f | %s | %d | %s | %s | %s | %s | %s |"
                     % (l, label, h["fluid_triangles"], rel(h["K_translate"], fine[0]["K_translate"]),
                        rel(h["V_over_Umax"], fine[0]["V_over_Umax"]),
                        *[rel(a, b) for a, b in zip(e, fe)]))
    # contour sampling
    h, n = res[(0.6, "flow", 2, 6.0)]
    s = model.SurfaceDisplacement(n, 0.6)
    t = model.t_for_deformation(s, 0.05)
    d_fine = model.features(s.contour(t, 16384))[2] - model.circle_offset(16384)
    emit()
    emit("Contour sampling: deformation of one contour with 4096 points %.8f, with 16384 "
         "points %.8f." % (model.shape(s, t)[1], d_fine))
    emit()

    # ---------------------------------------------------------------- 2. drag
    drag_l = (0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 0.95, 0.97)
    res2 = dict((j[0], r) for j, r in pool.map(run, [(l, "flow", 1, 6.0, None, "drag") for l in drag_l]))
    emit("### Rigid sphere on the axis of a tube")
    emit()
    emit("K = drag / (6 pi eta a V) of a sphere translating at V through fluid at rest; "
         "K_P = drag / (6 pi eta a Umax) of a sphere held in Poiseuille flow of centreline "
         "velocity Umax; V/Umax of the force-free sphere. HS: Haberman & Sayre (1958); "
         "B: Bohlin (1960); Faxen: 1 - 2/3 lam^2 (free sphere, small lam).")
    emit()
    emit("| lam | K model | K HS | K B | K_P model | K_P HS | V/Umax model | V/Umax HS | Faxen |")
    emit("|---|---|---|---|---|---|---|---|---|")
    for l in [x for x in drag_l if x <= 0.8]:
        h = res2[l][0]
        emit("| %.1f | %.4f | %.4f (%+.2f %%) | %.4f (%+.2f %%) | %.4f | %.4f (%+.2f %%) | %.4f | %.4f | %.4f |"
             % (l, h["K_translate"], haberman_sayre_translate(l),
                100 * (h["K_translate"] / haberman_sayre_translate(l) - 1),
                bohlin_translate(l), 100 * (h["K_translate"] / bohlin_translate(l) - 1),
                h["K_poiseuille"], haberman_sayre_poiseuille(l),
                100 * (h["K_poiseuille"] / haberman_sayre_poiseuille(l) - 1),
                h["V_over_Umax"], haberman_sayre_poiseuille(l) / haberman_sayre_translate(l),
                1 - 2.0 / 3.0 * l * l))
    emit()
    emit("Tight fit: lubrication theory of the gap (pressure-driven leak flow past the "
         "translating sphere) gives K -> (3 pi sqrt(2) / 8) lam^(3/2) eps^(-5/2), "
         "eps = 1 - lam, to leading order, i.e. K eps^(5/2) / lam^(3/2) -> %.4f:" % (3 * math.pi * math.sqrt(2) / 8))
    emit()
    emit("| lam | K model | K eps^(5/2) / lam^(3/2) |")
    emit("|---|---|---|")
    for l in [x for x in drag_l if x >= 0.7]:
        k = res2[l][0]["K_translate"]
        emit("| %.2f | %.2f | %.4f |" % (l, k, k * (1 - l) ** 2.5 / l ** 1.5))
    emit()

    # ---------------------------------------------------------------- 3. elastic solver
    emit("### Elastic solver against closed-form solutions")
    emit()
    emit("| case | mesh ref | max displacement error / max displacement |")
    emit("|---|---|---|")
    ejobs = [(0.5, "pressure", 1, 6.0, {"nu": nu}, "el_nu%g" % nu) for nu in (0.3, 0.45, 0.49)]
    ejobs += [(0.5, "lamb", r, 6.0, None, "el") for r in (0.5, 1, 2)]
    for job, (h, n) in pool.map(run, ejobs):
        z, r, uz, ur = n.T
        if job[1] == "pressure":
            fac = h["exact_factor"]
            ez, er = fac * z, fac * r
            name = "uniform pressure, nu = %g (u = -P (1 - 2 nu) x / E)" % job[4]["nu"]
        else:
            mu = 1.0 / 3.0
            ez = (2 * r ** 2 * z / 7 + z ** 3 / 7 + 2 * z) / mu
            er = -(r ** 3 / 14 + 3 * r * z ** 2 / 14 + r) / mu
            name = "incompressible, traction of the r^2 P2 field"
        # remove the free rigid translation along the axis before comparing
        shift = np.mean(uz - ez)
        err = np.max(np.hypot(uz - shift - ez, ur - er)) / np.max(np.hypot(ez, er))
        emit("| %s | %g | %.2e |" % (name, job[2], err))
    emit()

    # ---------------------------------------------------------------- 4. linearity in 1/E
    ljobs = [(0.6, "flow", 1, 6.0, {"E": e}, "lin%g" % e) for e in (1.0, 2.5, 40.0)]
    lres = [r for _, r in pool.map(run, ljobs)]
    base = lres[0][1]
    emit("### Linearity in 1/E")
    emit()
    for (h, n), e in zip(lres[1:], (2.5, 40.0)):
        u0 = base[:, 2:] - base[:, 2:].mean(axis=0)
        u1 = (n[:, 2:] - n[:, 2:].mean(axis=0)) * e
        emit("- E = %g: max |E u - u(E=1)| / max |u(E=1)| = %.1e" % (e, np.max(np.abs(u1 - u0)) / np.max(np.abs(u0))))
    emit()

    # ---------------------------------------------------------------- 5. scaling
    emit("### Scaling of the modulus with viscosity, flow rate and channel width")
    emit()
    emit("Dimensional runs (µm, µm/s, Pa s, Pa) of the same sphere size lam = 0.5; E(D) is "
         "the modulus giving deformation D; the expectation is the application's rule "
         "E = (eta/eta0) (Q/Q0) (W0/W)^3 E0, at area (W/W0)^2 A0.")
    emit()
    emit("| case | area at D=0.05 (µm²) | E(0.05) kPa | ratio | expected | E(0.1) ratio |")
    emit("|---|---|---|---|---|---|")
    cases = [("reference (W 20 µm, Q 0.16 µL/s, eta 0.4 mPa s)", 20.0, 0.16, 0.4e-3),
             ("viscosity x 2.5", 20.0, 0.16, 1.0e-3),
             ("flow rate x 0.25", 20.0, 0.04, 0.4e-3),
             ("channel width 30 µm", 30.0, 0.16, 0.4e-3)]
    sjobs = []
    for name, w, q, eta in cases:
        rc = w / math.sqrt(math.pi)
        u = q * 1e9 / (w * w)
        sjobs.append((0.5, "flow", 1, 6.0, {"Rc": rc, "U": u, "eta": eta, "E": 1000.0}, "sc%g_%g_%g" % (w, q, eta)))
    sres = [r for _, r in pool.map(run, sjobs)]
    ref_vals = None
    for (name, w, q, eta), (h, n) in zip(cases, sres):
        rc = w / math.sqrt(math.pi)
        s = model.SurfaceDisplacement(n / np.array([rc, rc, 1.0, 1.0]) * np.array([1, 1, 1.0 / rc, 1.0 / rc]), 0.5)
        out = []
        for d in (0.05, 0.1):
            f = model.t_for_deformation(s, d)        # displacement factor relative to E = 1 kPa
            out.append((1.0 / f, model.shape(s, f)[0] * rc * rc))
        if ref_vals is None:
            ref_vals = out
        expected = (eta / 0.4e-3) * (q / 0.16) * (20.0 / w) ** 3
        emit("| %s | %.2f | %.5g | %.5f | %.5f | %.5f |"
             % (name, out[0][1], out[0][0], out[0][0] / ref_vals[0][0], expected, out[1][0] / ref_vals[1][0]))
    emit()
    if args.out:
        os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
        with open(args.out, "w") as f:
            f.write("\n".join(OUT) + "\n")


if __name__ == "__main__":
    main()
