# A short numpy version of the distribution explorer's kernel density (linear binning, a
# truncated Gaussian kernel normalised to unit sum, convolution without wrap, unit area),
# for KernelDensityTest. Exit code 3 when numpy is missing.
import math
import sys

from reference_io import run

try:
    import numpy as np
except ImportError as error:
    print("numpy is not available: %s" % error)
    sys.exit(3)


def density(values):
    lo, hi = min(values), max(values)
    if lo >= hi:
        hi = lo + 1.0
    data_range = hi - lo
    pad = 0.05 * data_range
    grid_min = lo - pad
    count = 256
    step = (hi + pad - grid_min) / (count - 1)
    x = np.array(values, dtype=float)
    n = len(x)
    s_sorted = np.sort(x)
    sd = math.sqrt(float(np.mean((x - x.mean()) ** 2)))
    spread = (s_sorted[(3 * n) // 4] - s_sorted[n // 4]) / 1.34
    s = min(sd, spread)
    if s < 1e-15:
        s = sd if sd >= 1e-15 else 0.01 * data_range
    h = max(step, 0.5 * s * n ** -0.2)
    k = max(1, int(math.ceil(4 * h / step)))
    bins = np.zeros(count)
    for v in x:
        t = (v - grid_min) / step
        i = max(0, int(t))
        if i < count - 1:
            bins[i] += 1 - (t - i)
            bins[i + 1] += t - i
        else:
            bins[count - 1] += 1
    j = np.arange(-k, k + 1)
    w = np.exp(-0.5 * (j * step / h) ** 2)
    w /= w.sum()
    d = np.convolve(bins, w, mode="same") if 2 * k + 1 <= count else np.array(
        [sum(bins[g + jj] * w[jj + k] for jj in range(-k, k + 1) if 0 <= g + jj < count) for g in range(count)])
    total = d.sum()
    if total > 0:
        d = d / (total * step)
    return {"density": [float(v) for v in d], "h": h, "k": k, "gridMin": grid_min, "step": step}


if __name__ == "__main__":
    run(density)
