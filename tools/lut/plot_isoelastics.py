#!/usr/bin/python3
"""Plots the isoelastic lines of a Young's-modulus table over area and deformation, as
the application draws them at the table's own conditions (no pixelation offset).

    /usr/bin/python3 tools/lut/plot_isoelastics.py data/LUT_LE_2D_FEM.txt docs/lut_isoelastics.png
"""

import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

sys.dont_write_bytecode = True   # no __pycache__ inside the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_table  # noqa: E402
import make_lut  # noqa: E402


def main(path, png):
    meta, rows = check_table.read_table(path)
    area, deform, emod = rows.T
    T = check_table.Interpolator(area, deform, emod)
    lines = check_table.isoelastics(T)
    cmap = plt.get_cmap("viridis")
    fig, axes = plt.subplots(1, 2, figsize=(13, 5.8), dpi=110)
    for ax, logy in zip(axes, (False, True)):
        ax.axhspan(make_lut.D_LIMIT, deform.max(), color="0.92", zorder=0)
        ax.text(area.max() - 3, make_lut.D_LIMIT * (1.08 if logy else 1.0) + (0 if logy else 0.004),
                "above D = %g: power-law continuation" % make_lut.D_LIMIT,
                ha="right", va="bottom", fontsize=8, color="0.35")
        if not logy:
            ax.scatter(area, deform, s=0.25, color="0.78", zorder=1, label="table rows")
        for k, (o, pts) in enumerate(lines):
            if len(pts) < 2:
                continue
            xs, ys = zip(*pts)
            colour = cmap(k / (len(lines) - 1))
            ax.plot(xs, ys, color=colour, lw=1.4, zorder=2, label=None)
            # lines that leave through the top edge are labelled upright there, side by side
            at_top = ys[-1] > deform.max() - 0.01
            ax.annotate("%.1f kPa" % o, (xs[-1], ys[-1]), fontsize=7, color=colour,
                        xytext=(0, 2) if at_top else (2, 0), textcoords="offset points",
                        va="bottom" if at_top else "center", ha="center" if at_top else "left",
                        rotation=90 if at_top else 0, annotation_clip=False)
        ax.set_xlim(area.min(), area.max() + 28)
        if logy:
            ax.set_yscale("log")
            ax.set_ylim(1e-3, deform.max())
            ax.set_title("the same, logarithmic deformation axis", fontsize=10, pad=34)
        else:
            ax.set_ylim(deform.min(), deform.max())
            ax.set_title("Isoelastic lines of LUT_LE_2D_FEM.txt: channel %g µm, %g µL/s, %.4g mPa·s"
                         % (meta["channel_width"], meta["flow_rate"], meta["fluid_viscosity"]),
                         fontsize=10, pad=34)
            ax.legend(loc="upper left", fontsize=8, markerscale=8)
        ax.set_xlabel("area [µm²]")
        ax.set_ylabel("deformation")
    fig.tight_layout()
    fig.savefig(png)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
