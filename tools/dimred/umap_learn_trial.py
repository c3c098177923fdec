#!/usr/bin/env python3
"""Comparison runs for bench/umap_trial_bench.cpp and bench/dimred_bench.cpp, with
Debian's umap-learn and scipy (installed by `./dev bench`). Matrices travel as raw
little-endian float64 files, row-major.

    umap_learn_trial.py umap <matrix.f64> <rows> <cols> <embedding-out.f64>
        Fits umap-learn (n_neighbors 16, which counts the point itself, 200 epochs,
        spectral start, all cores) twice and times the second run; writes its embedding
        and prints "seconds <t>".
    umap_learn_trial.py knn <matrix.f64> <rows> <cols> <k> <workers>
        Times scipy's cKDTree (build and query of k neighbours besides the point itself)
        and prints "seconds <t>".
"""
import os
import sys
import time

import numpy as np


def load(path, rows, cols):
    return np.fromfile(path, dtype="<f8").reshape(rows, cols)


def run_umap(path, rows, cols, out):
    import umap

    X = load(path, rows, cols)
    embedding = None
    seconds = 0.0
    for _ in range(2):  # the first run compiles the numba kernels
        reducer = umap.UMAP(n_neighbors=16, n_epochs=200, min_dist=0.1, init="spectral", n_jobs=-1)
        start = time.perf_counter()
        embedding = reducer.fit_transform(X)
        seconds = time.perf_counter() - start
    np.asarray(embedding, dtype="<f8").tofile(out)
    print(f"seconds {seconds}")


def run_knn(path, rows, cols, k, workers):
    from scipy.spatial import cKDTree

    X = load(path, rows, cols)
    start = time.perf_counter()
    cKDTree(X).query(X, k=k + 1, workers=workers)
    print(f"seconds {time.perf_counter() - start}")


def main():
    mode = sys.argv[1]
    if mode == "umap":
        run_umap(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5])
    elif mode == "knn":
        run_knn(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]), int(sys.argv[6]))
    else:
        sys.exit(f"unknown mode {mode}")


if __name__ == "__main__":
    os.environ.setdefault("PYTHONHASHSEED", "0")
    main()
