#!/usr/bin/python3
# Reference values of the image-feature tests: the 24 features of two test images written
# out from their definitions with numpy and scipy, independently of the C++ code and of
# OpenCV (run with Debian's python3). The derivatives are correlations with the aperture-3
# Sobel and Laplacian kernels at a mirrored border without repeating the edge (reflect-101),
# the DFT is numpy's, and the 11 x 11 elliptic structuring element is drawn row by row the
# way the image library defines it (half-width round(c sqrt(r^2 - dy^2) / r), halves to even).
import math

import numpy as np
from scipy import ndimage


def quantile(s, p):
    t = p * (len(s) - 1)
    i = int(math.floor(t))
    return s[i] + (t - i) * (s[i + 1] - s[i]) if i + 1 < len(s) else s[i]


def entropy(p):
    p = np.asarray(p, dtype=float)
    p = p[p > 0]
    return float(-(p * np.log2(p)).sum())


def slope(x, y):
    x = np.asarray(x, float)
    y = np.asarray(y, float)
    if len(x) < 2:
        return math.nan
    d = ((x - x.mean()) ** 2).sum()
    return float(((x - x.mean()) * (y - y.mean())).sum() / d) if d > 0 else math.nan


def optimal_dft_size(n):
    m = n
    while True:
        k = m
        for f in (2, 3, 5):
            while k % f == 0:
                k //= f
        if k == 1:
            return m
        m += 1


def ellipse_element(size=11):
    r = c = size // 2
    el = np.zeros((size, size), np.uint8)
    for i in range(size):
        dy = i - r
        if abs(dy) <= r:
            dx = int(round(c * math.sqrt((r * r - dy * dy) / (r * r))))
            el[i, max(c - dx, 0):min(c + dx + 1, size)] = 1
    return el


def features(image, mask):
    rows, cols = np.nonzero(mask)  # row-major order
    v = image[rows, cols].astype(float)
    x = cols.astype(float)
    y = rows.astype(float)
    n = len(v)
    out = []
    # brightness
    s = np.sort(v)
    mu = v.mean()
    m2 = ((v - mu) ** 2).mean()
    m3 = ((v - mu) ** 3).mean()
    m4 = ((v - mu) ** 4).mean()
    med = quantile(s, 0.5)
    dev = np.sort(np.abs(v - med))
    hist = np.bincount(np.clip(v.astype(int), 0, 255), minlength=256) / n
    out += [med, quantile(s, 0.1), quantile(s, 0.9), quantile(s, 0.75) - quantile(s, 0.25),
            1.4826 * quantile(dev, 0.5), math.sqrt(m2) / mu if mu != 0 else math.nan,
            m3 / m2 ** 1.5 if m2 > 0 else math.nan, m4 / m2 ** 2 - 3 if m2 > 0 else math.nan, entropy(hist)]
    # local binary patterns
    offsets = [(1, 0), (1, -1), (0, -1), (-1, -1), (-1, 0), (-1, 1), (0, 1), (1, 1)]
    bins = np.zeros(10)
    for r in range(1, image.shape[0] - 1):
        for c in range(1, image.shape[1] - 1):
            if mask[r, c] == 0:
                continue
            bits = [1 if image[r + dy, c + dx] >= image[r, c] else 0 for dx, dy in offsets]
            changes = sum(bits[k] != bits[(k + 1) % 8] for k in range(8))
            bins[sum(bits) if changes <= 2 else 9] += 1
    if bins.sum() == 0:
        out += [math.nan] * 3
    else:
        p = bins / bins.sum()
        out += [entropy(p), 1 - p[9], p[0] + p[8]]
    # radial profile
    cx, cy = x.mean(), y.mean()
    rr = np.hypot(x - cx, y - cy)
    rmax = rr.max()
    ring = np.clip((rr / rmax * 10).astype(int), 0, 9)
    t = [(k + 0.5) / 10 for k in range(10) if (ring == k).any()]
    m = [v[ring == k].mean() for k in range(10) if (ring == k).any()]
    inner = [mk for tk, mk in zip(t, m) if tk < 0.25]
    outer = [mk for tk, mk in zip(t, m) if tk > 0.75]
    lo, hi = min(m), max(m)
    depth = max([0.0] + [m[0] + (m[-1] - m[0]) * (tk - t[0]) / (t[-1] - t[0]) - mk for tk, mk in zip(t, m)])
    out += [slope(t, m), np.mean(inner) / np.mean(outer) if inner and outer and sum(outer) > 0 else math.nan,
            (hi - lo) / (hi + lo), depth / (hi - lo) if hi - lo > 0 else 0.0]
    # spectrum
    def nearest(a):
        return int(math.floor(abs(a) + 0.5)) * (1 if a >= 0 else -1)
    h = max(math.ceil(rmax) + 2, 4)
    x0 = min(max(nearest(cx) - h, 0), image.shape[1] - 1)
    x1 = min(max(nearest(cx) + h, 0), image.shape[1] - 1)
    y0 = min(max(nearest(cy) - h, 0), image.shape[0] - 1)
    y1 = min(max(nearest(cy) + h, 0), image.shape[0] - 1)
    side = min(x1 - x0, y1 - y0) + 1
    size = optimal_dft_size(side)
    w = 0.5 * (1 - np.cos(2 * np.pi * np.arange(size) / (size - 1)))
    patch = np.zeros((size, size))
    for r in range(side):
        for c in range(side):
            u = float(image[y0 + r, x0 + c]) if mask[y0 + r, x0 + c] else mu
            patch[r, c] = (u - mu) * w[r] * w[c]
    power = np.abs(np.fft.fft2(patch)) ** 2
    half = size // 2
    sums = np.zeros(half + 1)
    counts = np.zeros(half + 1)
    for a in range(size):
        for b in range(size):
            fa = a - size if a > half else a
            fb = b - size if b > half else b
            k = nearest(math.hypot(fb, fa))
            if k <= half:
                sums[k] += power[a, b]
                counts[k] += 1
    ks = [k for k in range(1, half + 1) if counts[k] > 0]
    P = [sums[k] / counts[k] for k in ks]
    total = sum(P)
    out += [slope([math.log(k) for k, pk in zip(ks, P) if pk > 0], [math.log(pk) for pk in P if pk > 0]),
            sum(k * pk for k, pk in zip(ks, P)) / total, sum(pk for k, pk in zip(ks, P) if k > half / 2) / total,
            entropy([pk / total for pk in P])]
    # focus
    f = image.astype(float)
    sobel_x = np.array([[-1, 0, 1], [-2, 0, 2], [-1, 0, 1]], float)
    gx = ndimage.correlate(f, sobel_x, mode='mirror')
    gy = ndimage.correlate(f, sobel_x.T, mode='mirror')
    lap = ndimage.correlate(f, np.array([[2, 0, 2], [0, -8, 0], [2, 0, 2]], float), mode='mirror')
    ry0, ry1 = max(rows.min() - 5, 0), min(rows.max() + 5, image.shape[0] - 1)
    rx0, rx1 = max(cols.min() - 5, 0), min(cols.max() + 5, image.shape[1] - 1)
    region = (slice(ry0, ry1 + 1), slice(rx0, rx1 + 1))
    fr = f[region]
    dxs = (fr[:, 2:] - fr[:, :-2]).ravel()
    dys = (fr[2:, :] - fr[:-2, :]).ravel()
    el = ellipse_element()
    binary = mask != 0
    band = ndimage.binary_dilation(binary, el, border_value=0) & ~ndimage.binary_erosion(binary, el, border_value=1)
    magnitude = np.sqrt((gx.astype(np.float32) ** 2 + gy.astype(np.float32) ** 2).astype(np.float32))
    out += [float((gx[region] ** 2 + gy[region] ** 2).mean()), float((lap[region] ** 2).mean() - lap[region].mean() ** 2),
            float(np.concatenate([dxs, dys]).__pow__(2).mean()), float(magnitude[band].astype(float).mean())]
    return out


def linear_case():
    image = np.fromfunction(lambda r, c: 10 * r + c, (12, 12)).astype(np.uint8)
    mask = np.zeros((12, 12), np.uint8)
    mask[1:11, 1:11] = 1
    return image, mask


def textured_case():
    rows, cols = 40, 56
    image = np.fromfunction(lambda r, c: (37 * c + 11 * r * r + 5 * c * r) % 256, (rows, cols)).astype(np.uint8)
    mask = np.fromfunction(lambda r, c: ((c - 30) / 14.0) ** 2 + ((r - 19) / 9.0) ** 2 <= 1, (rows, cols)).astype(np.uint8)
    return image, mask


for name, case in (("linear 12 x 12", linear_case), ("textured 40 x 56", textured_case)):
    print(name)
    print(",\n".join("%.12g" % value for value in features(*case())))
