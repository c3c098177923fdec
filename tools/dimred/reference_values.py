#!/usr/bin/env python3
"""Reference values for the dimension-reduction tests, from scikit-learn, scipy and
umap-learn. Run with Debian's own interpreter:

    PATH=$(getconf PATH) python3 tools/dimred/reference_values.py

and paste the printed blocks into tests/dimred/. The inputs come from the same splitmix64
stream the tests use (tests/dimred/DimRedTestData.h), so both sides see identical doubles.
"""
import numpy as np

MASK = (1 << 64) - 1


class SplitMix:
    def __init__(self, seed):
        self.state = seed & MASK

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & MASK
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
        return z ^ (z >> 31)

    def uniform(self):
        return (self.next() >> 11) * 2.0 ** -53


def pca_matrix():
    # 300 x 4: correlated, skewed and offset columns.
    r = SplitMix(11)
    rows = []
    for _ in range(300):
        u = [r.uniform() for _ in range(4)]
        rows.append([u[0], 0.6 * u[0] + 0.4 * u[1], u[2] * u[2] * 5.0, u[3] + 0.3 * u[0] + 2.0])
    return np.array(rows)


def knn_points():
    r = SplitMix(5)
    return np.array([[r.uniform() * 10.0 for _ in range(3)] for _ in range(500)])


def dbscan_points():
    # Three blobs of uniform squares plus scattered points, 2-D.
    r = SplitMix(23)
    pts = []
    for cx, cy, count in ((0.0, 0.0, 40), (5.0, 1.0, 30), (2.0, 6.0, 25)):
        for _ in range(count):
            pts.append([cx + r.uniform() * 1.5, cy + r.uniform() * 1.5])
    for _ in range(15):
        pts.append([r.uniform() * 12.0 - 3.0, r.uniform() * 12.0 - 3.0])
    return np.array(pts)


def robust_standardise(X):
    center = np.median(X, axis=0)
    mad = np.median(np.abs(X - center), axis=0) * 1.4826
    return (X - center) / mad, center, mad


def signed(component):
    k = int(np.argmax(np.abs(component)))
    return component if component[k] > 0 else -component


def fmt(values):
    return ", ".join(repr(float(v)) for v in values)


def main():
    from sklearn.decomposition import PCA
    from sklearn.cluster import DBSCAN
    from scipy.spatial import cKDTree
    from umap.umap_ import find_ab_params, smooth_knn_dist

    print("// PCA (scikit-learn) of the robust-standardised rows")
    for name, X in (("five rows", np.array([[-3, -3], [4, 2], [-2, 2], [3, 1], [-2, 7]], float)),
                    ("300 x 4", pca_matrix())):
        Z, center, scale = robust_standardise(X)
        pca = PCA(n_components=2, svd_solver="full").fit(Z)
        print(f"// {name}: center {fmt(center)}; scale {fmt(scale)}")
        print(f"component1 {{{fmt(signed(pca.components_[0]))}}}")
        print(f"component2 {{{fmt(signed(pca.components_[1]))}}}")
        print(f"explained {{{fmt(pca.explained_variance_ratio_)}}}")

    print("// cKDTree, k = 6 (self excluded), 500 x 3 points")
    P = knn_points()
    dist, idx = cKDTree(P).query(P, k=7)
    for i in range(3):
        print(f"row {i}: {{{', '.join(str(int(j)) for j in idx[i, 1:])}}} {{{fmt(dist[i, 1:])}}}")
    print(f"sum of distances {repr(float(dist[:, 1:].sum()))}")

    print("// DBSCAN (scikit-learn), eps 0.6, min_samples 5")
    D = dbscan_points()
    labels = DBSCAN(eps=0.6, min_samples=5).fit(D).labels_
    print("{" + ", ".join(str(int(v)) for v in labels) + "}")

    print("// find_ab_params (umap-learn): spread, min_dist -> a, b")
    for spread, min_dist in ((1.0, 0.1), (1.0, 0.0), (1.0, 0.5), (2.0, 0.3), (1.0, 0.99)):
        a, b = find_ab_params(spread, min_dist)
        print(f"{{{spread!r}, {min_dist!r}, {float(a)!r}, {float(b)!r}}},")

    print("// smooth_knn_dist (umap-learn): rows of k distances -> sigma, rho")
    # Values exact in single precision (umap-learn computes in it); rows whose sigma is not
    # set by the floor, which umap-learn takes over k + 1 columns (the point itself too).
    rows = np.array([[0.5, 0.875, 1.25, 2.0, 2.25],
                     [0.125, 0.125, 0.375, 3.0, 3.5],
                     [0.25, 0.6875, 0.75, 0.8125, 5.0],
                     [1.5, 1.75, 2.0, 2.5, 4.0]])
    k = rows.shape[1]
    # umap-learn expects the point itself in column 0.
    with_self = np.hstack([np.zeros((rows.shape[0], 1)), rows])
    sigma, rho = smooth_knn_dist(with_self, float(k), local_connectivity=1.0)
    for i in range(rows.shape[0]):
        print(f"{{{{{fmt(rows[i])}}}, {float(sigma[i])!r}, {float(rho[i])!r}}},")


if __name__ == "__main__":
    main()
