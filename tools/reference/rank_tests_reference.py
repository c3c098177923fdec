#!/usr/bin/python3
"""Reference values of the two-sample rank tests for the table in
tests/stats/RankTestsTest.cpp, from scipy.stats with method="auto" (scipy 1.10, Debian's
python3-scipy): Mann-Whitney U with use_continuity=False, Wilcoxon signed-rank with its
defaults (zeros dropped, no continuity correction). Run with Debian's own python3:
    PATH=$(getconf PATH) python3 tools/reference/rank_tests_reference.py
and paste the printed rows into the table.

Whether scipy took the exact or the asymptotic branch is read from its own results (the
auto p value must equal the one of exactly one explicit method). The cases here have no
tied value and no zero difference at the exact sizes (Mann-Whitney with at most 8 values
in the smaller list, Wilcoxon with at most 50 non-zero differences): there the tests count
the exact distribution given the tie pattern, where scipy 1.10 takes its approximation or
an exact table of untied ranks, so tied cases at those sizes are checked against a
brute-force enumeration instead (rank_tests_ties_reference.py). Beyond those sizes, where
scipy's approximation corrects the variance for ties and ours does not, the row holds the
uncorrected normal approximation, computed here from its formula, and names scipy's value
in a comment."""
import math
import sys
import textwrap
import warnings

import numpy as np
import scipy
from scipy import stats

if not scipy.__version__.startswith("1.10."):
    sys.exit("scipy 1.10 is the reference; found %s" % scipy.__version__)
warnings.filterwarnings("ignore")


def values(seed, n, shift=0.0, spread=10.0):
    # Three decimals keep the rows short; the cases that must be tie-free are checked below.
    rng = np.random.default_rng(seed)
    return [round(float(v), 3) for v in rng.normal(shift, spread, n)]


def integers(seed, n, shift=0.0, spread=4.0):
    # Rounded to whole numbers: many ties, and zeros among differences.
    return [float(round(v)) for v in values(seed, n, shift, spread)]


def untied_normal_p(statistic, mean, variance):
    return math.erfc(abs((statistic - mean) / math.sqrt(variance)) / math.sqrt(2.0))


def branch(auto, exact, asymptotic, name):
    if auto == exact and auto != asymptotic:
        return True
    if auto == asymptotic and auto != exact:
        return False
    raise SystemExit("%s: cannot tell scipy's branch; choose other values" % name)


def mann_whitney(name, x, y, expect_ties=False):
    x = [float(v) for v in x]
    y = [float(v) for v in y]
    pooled = x + y
    ties = len(set(pooled)) < len(pooled)
    if ties != expect_ties:
        raise SystemExit("%s: ties %s" % (name, ties))
    n1, n2 = len(x), len(y)
    if ties and min(n1, n2) <= 8:
        raise SystemExit("%s: ties at an exact size belong to rank_tests_ties_reference.py" % name)
    auto = stats.mannwhitneyu(x, y, use_continuity=False, method="auto")
    exact = stats.mannwhitneyu(x, y, method="exact").pvalue
    asym = stats.mannwhitneyu(x, y, use_continuity=False, method="asymptotic").pvalue
    is_exact = branch(auto.pvalue, exact, asym, name)
    u = min(float(auto.statistic), n1 * n2 - float(auto.statistic))
    p, note = float(auto.pvalue), ""
    if ties and not is_exact:
        p = untied_normal_p(u, n1 * n2 / 2.0, n1 * n2 * (n1 + n2 + 1) / 12.0)
        note = "  // no tie correction; scipy %.6g" % auto.pvalue
    return row("mannWhitney", name, x, y, u, p, is_exact, note)


def wilcoxon(name, d, expect_ties=False):
    d = [float(v) for v in d]
    nonzero = [v for v in d if v != 0.0]
    ties = len(set(abs(v) for v in nonzero)) < len(nonzero)
    if ties != expect_ties:
        raise SystemExit("%s: ties %s" % (name, ties))
    if (ties or 0.0 in d) and len(nonzero) <= 50:
        raise SystemExit("%s: ties or zeros at an exact size belong to rank_tests_ties_reference.py" % name)
    auto = stats.wilcoxon(d, method="auto")
    exact = stats.wilcoxon(d, method="exact").pvalue
    asym = stats.wilcoxon(d, method="approx").pvalue
    # With zeros scipy's "exact" itself falls back to the approximation.
    is_exact = False if 0.0 in d else branch(auto.pvalue, exact, asym, name)
    if 0.0 in d and auto.pvalue != asym:
        raise SystemExit("%s: zeros did not switch to the approximation" % name)
    p, note = float(auto.pvalue), ""
    if ties:
        n = len(nonzero)
        p = untied_normal_p(float(auto.statistic), n * (n + 1) / 4.0, n * (n + 1) * (2 * n + 1) / 24.0)
        note = "  // no tie correction; scipy %.6g" % auto.pvalue
    return row("wilcoxon", name, d, [], float(auto.statistic), p, is_exact, note)


def number(x):
    # The shortest text that reads back as the same double.
    text = repr(float(x))
    return text[:-2] if text.endswith(".0") else text


def cpp(v):
    # A braced list, wrapped to the width of the test's source.
    lines = textwrap.wrap(", ".join(number(x) for x in v), width=108, break_long_words=False)
    return "{" + "\n      ".join(lines) + "}"


def row(kind, name, a, b, statistic, p, is_exact, note):
    text = '{"%s", Kind::%s, %s, %s, %s, %s, %s},%s' % (
        name, kind, cpp(a), cpp(b), number(statistic), number(p), "true" if is_exact else "false", note)
    if len(text) <= 116 and "\n" not in text:
        return text
    return '{"%s", Kind::%s,%s\n     %s,\n     %s,\n     %s, %s, %s},' % (
        name, kind, note, cpp(a), cpp(b), number(statistic), number(p), "true" if is_exact else "false")


rows = [
    # The smallest design the window allows: never below 0.1, however far apart.
    mann_whitney("3 v 3 separated", [1, 2, 3], [4, 5, 6]),
    mann_whitney("3 v 3 interleaved", [1, 3, 5], [2, 4, 6]),
    mann_whitney("4 v 4 separated", [1, 2, 3, 4], [5, 6, 7, 8]),
    mann_whitney("3 v 8", values(1, 3), values(2, 8, 8.0)),
    mann_whitney("8 v 3, first list larger", values(3, 8, 5.0), values(4, 3)),
    mann_whitney("8 v 8, largest exact size", values(5, 8), values(6, 8, 9.0)),
    mann_whitney("5 v 30", values(7, 5, -6.0), values(8, 30)),
    mann_whitney("8 v 60", values(9, 8, 4.0), values(10, 60)),
    mann_whitney("9 v 9, smallest asymptotic size", values(11, 9), values(12, 9, 7.0)),
    mann_whitney("12 v 15", values(13, 12), values(14, 15, 5.0)),
    mann_whitney("9 v 12 with ties", integers(20, 9), integers(21, 12, 4.0), expect_ties=True),
    wilcoxon("5 all positive", [1, 2, 3, 4, 5]),
    wilcoxon("5 all negative", [-1, -2, -3, -4, -5]),
    wilcoxon("6 mixed", [1.5, -2, 3, 4.5, -0.5, 6]),
    wilcoxon("10 mixed", values(15, 10, 3.0)),
    wilcoxon("25", values(16, 25, 2.0)),
    wilcoxon("26", values(17, 26, 2.0)),
    wilcoxon("50, largest exact size", values(28, 50, 2.0)),
    wilcoxon("51, smallest approximate size", values(19, 51, 2.0)),
    wilcoxon("55 with ties and zeros", integers(22, 55, 1.0, 4.0), expect_ties=True),
]
print("// scipy %s" % scipy.__version__)
for r in rows:
    print(r)
