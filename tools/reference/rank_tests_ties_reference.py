#!/usr/bin/python3
"""Reference values of the exact two-sample rank tests with tied values, for the table in
tests/stats/RankTestsTest.cpp, by brute force: every split of the pooled values into the two
lists (Mann-Whitney U) and every sign pattern of the non-zero differences (Wilcoxon
signed-rank) is enumerated and its statistic computed from the mid-ranks of the observed
values, so the p value is the exact one given the tie pattern. Plain python, no package
needed:
    python3 tools/reference/rank_tests_ties_reference.py
and paste the printed rows into the table.

Two-sided p = min(1, 2 x the smaller tail), the tails P(S <= s) and P(S >= s) of the rank
sum of the first list (or of the positive differences), counted in exact fractions. Zero
differences are dropped first. Every case is followed by its mirror image (the lists
swapped, the differences negated), computed afresh: the tied distributions are not
symmetric, so the two orders are an independent check of each other."""
import itertools
import random
from fractions import Fraction


def mid_ranks(values):
    order = sorted(range(len(values)), key=lambda i: values[i])
    ranks = [None] * len(values)
    start = 0
    while start < len(order):
        end = start + 1
        while end < len(order) and values[order[end]] == values[order[start]]:
            end += 1
        for i in range(start, end):
            ranks[order[i]] = Fraction(start + end + 1, 2)
        start = end
    return ranks


def two_sided(observed, population):
    lower = sum(1 for s in population if s <= observed)
    upper = sum(1 for s in population if s >= observed)
    return min(Fraction(1), 2 * Fraction(min(lower, upper), len(population)))


def mann_whitney(x, y):
    n1, n2 = len(x), len(y)
    ranks = mid_ranks(list(x) + list(y))
    u1 = sum(ranks[:n1]) - Fraction(n1 * (n1 + 1), 2)
    population = [sum(ranks[i] for i in split) - Fraction(n1 * (n1 + 1), 2)
                  for split in itertools.combinations(range(n1 + n2), n1)]
    return min(u1, n1 * n2 - u1), two_sided(u1, population)


def wilcoxon(d):
    nonzero = [v for v in d if v != 0]
    ranks = mid_ranks([abs(v) for v in nonzero])
    total = sum(ranks)
    plus = sum(r for r, v in zip(ranks, nonzero) if v > 0)
    population = [sum(r for r, positive in zip(ranks, signs) if positive)
                  for signs in itertools.product((False, True), repeat=len(nonzero))]
    return min(plus, total - plus), two_sided(plus, population)


def number(x):
    # The shortest text that reads back as the same double.
    text = repr(float(x))
    return text[:-2] if text.endswith(".0") else text


def cpp(v):
    return "{" + ", ".join(number(x) for x in v) + "}"


def row(name, kind, a, b, statistic, p):
    text = '{"%s", Kind::%s, %s, %s, %s, %s},' % (name, kind, cpp(a), cpp(b), number(statistic), number(p))
    if len(text) <= 116:
        return text
    return '{"%s", Kind::%s,\n     %s,\n     %s,\n     %s, %s},' % (name, kind, cpp(a), cpp(b), number(statistic),
                                                                number(p))


def mw_rows(name, x, y):
    if len(set(x + y)) == len(x + y):
        raise SystemExit("%s: no tie" % name)
    out = []
    for label, a, b in ((name, x, y), (name + ", mirrored", y, x)):
        u, p = mann_whitney(a, b)
        out.append(row(label, "mannWhitney", a, b, u, p))
    return out


def w_rows(name, d):
    nonzero = [abs(v) for v in d if v != 0]
    if len(set(nonzero)) == len(nonzero) and 0 not in d:
        raise SystemExit("%s: no tie and no zero" % name)
    out = []
    for label, e in ((name, d), (name + ", mirrored", [-v for v in d])):
        w, p = wilcoxon(e)
        out.append(row(label, "wilcoxon", e, [], w, p))
    return out


def small_integers(rng, n, low, high):
    return [rng.randint(low, high) for _ in range(n)]


rng = random.Random(36)
rows = []
# A fully separated comparison with one tied value may never be "*" at 0.05.
rows += mw_rows("1 1 2 v 5 6 7", [1, 1, 2], [5, 6, 7])
rows += mw_rows("1 1 2 v 5 6 7 8", [1, 1, 2], [5, 6, 7, 8])
rows += mw_rows("3 v 3, tie across the lists", [1, 2, 3], [3, 5, 6])
rows += mw_rows("3 v 3, all equal", [4, 4, 4], [4, 4, 4])
rows += mw_rows("6 v 7, tie inside one list", [1, 2, 2, 4, 7, 9], [3, 5, 8, 10, 11, 12, 13])
rows += mw_rows("5 v 6, three tie groups", [1, 1, 1, 2, 2], [2, 2, 3, 3, 3, 3])
for n1, n2 in ((3, 5), (4, 4), (5, 8), (8, 3), (7, 7), (6, 4), (8, 8), (4, 14), (8, 12)):
    rows += mw_rows("%d v %d, integers 0..5" % (n1, n2), small_integers(rng, n1, 0, 5),
                    small_integers(rng, n2, 0, 5))
for n1, n2 in ((3, 4), (5, 5), (8, 6), (8, 8)):
    rows += mw_rows("%d v %d, integers 0..4 v 2..6" % (n1, n2), small_integers(rng, n1, 0, 4),
                    small_integers(rng, n2, 2, 6))
# A list of one value against a spread list.
rows += mw_rows("8 v 5, one list constant", [3] * 8, [1, 2, 3, 4, 5])
# U below its mean, yet the upper tail is the smaller one (the tie pattern is lopsided).
rows += mw_rows("6 v 4, the far tail smaller", [1, 0, 1, 1, 1, 1], [2, 0, 2, 0])

rows += w_rows("2 2 3 4 5", [2, 2, 3, 4, 5])
rows += w_rows("1 1 1 1 1", [1, 1, 1, 1, 1])
rows += w_rows("three of one size", [1, -1, 1])
rows += w_rows("tied magnitudes of both signs", [1, -1, 2, 3, 4, 5, 6])
rows += w_rows("zero difference", [0, 1.5, -2, 3, 4.5, 6, 7])
rows += w_rows("zero and tied magnitudes", [0, 1, -1, 2, 3, 4, 5])
rows += w_rows("zeros leave three", [0, 0, 0, 2, 2, -1])
for n in (3, 4, 6, 8, 10, 12):
    while True:
        d = small_integers(rng, n, -4, 4)
        if sum(1 for v in d if v != 0) >= 3:
            break
    rows += w_rows("%d, integers -4..4" % n, d)
for n in (5, 9, 12):
    rows += w_rows("%d, integers -1..4" % n, small_integers(rng, n, -1, 4))
rows += w_rows("12, half of one size", [3, 3, -3, 3, 3, -3, 1, 2, 4, 5, -6, 7])

for r in rows:
    print(r)
