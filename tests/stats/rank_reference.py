# Reference values of the rank tests from scipy.stats, for RankTestsScipyTest. Reads the
# cases from a JSON file and writes one result per case to another. Exit code 3 when
# scipy is missing, so the test can skip with a message.
import sys
import warnings

from reference_io import run

try:
    import numpy as np
    from scipy import special, stats
except ImportError as error:
    print("scipy is not available: %s" % error)
    sys.exit(3)


def friedman(lists):
    if len(lists) >= 3:
        r = stats.friedmanchisquare(*lists)
        return float(r.statistic), float(r.pvalue)
    # scipy needs three groups: Q from the per-subject ranks, chi-square with 1 dof.
    data = np.array(lists).T
    ranks = np.apply_along_axis(stats.rankdata, 1, data)
    n, k = data.shape
    rank_sums = ranks.sum(axis=0)
    q = 12.0 / (n * k * (k + 1)) * float(np.sum(rank_sums ** 2)) - 3.0 * n * (k + 1)
    return q, float(stats.chi2.sf(q, k - 1))


def reference(case):
    kind = case["kind"]
    if kind == "friedman":
        s, p = friedman(case["lists"])
    elif kind == "kruskal":
        r = stats.kruskal(*case["lists"])
        s, p = float(r.statistic), float(r.pvalue)
    elif kind == "mannwhitney":
        x, y = case["lists"]
        r = stats.mannwhitneyu(x, y, use_continuity=False, method="auto")
        u = float(r.statistic)
        s, p = min(u, len(x) * len(y) - u), float(r.pvalue)
    elif kind == "wilcoxon":
        r = stats.wilcoxon(case["lists"][0], correction=False, method="auto")
        s, p = float(r.statistic), float(r.pvalue)
    elif kind == "gamma":
        a, x = case["lists"][0]
        s, p = 0.0, float(special.gammaincc(a, x))
    else:
        raise ValueError(kind)
    return {"statistic": s, "p": p}


if __name__ == "__main__":
    warnings.filterwarnings("ignore")
    run(reference)
