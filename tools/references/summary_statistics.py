"""Reference values of the statistical summary export, from numpy's linear percentile and
scipy's biased (population) skewness. Run with Debian's own python3:
    PATH=$(getconf PATH) python3 tools/references/summary_statistics.py
and paste the printed rows into tests/io/SummaryStatisticsTest.cpp."""
import numpy as np
from scipy import stats

cases = {
    "one to four": ([1, 2, 3, 4], 95.0),
    "skewed three": ([1, 2, 10], 95.0),
    "eleven values": ([3.5, -1.25, 8.0, 0.5, 2.0, 13.75, 2.0, -4.0, 6.25, 1.0, 9.5], 37.5),
    "large offset": ([1e6 + 0.1, 1e6 + 0.2, 1e6 + 0.4, 1e6 + 0.8], 12.5),
}
for name, (values, p) in cases.items():
    v = np.sort(np.asarray(values, dtype=float))
    n = len(v)
    q1, q3, pp = np.percentile(v, [25, 75, p])  # linear interpolation (numpy's default)
    mean = v.mean()
    sd = v.std(ddof=1)
    row = [n, np.median(v), q3 - q1, q1, q3, pp, mean, sd, sd / np.sqrt(n), sd * 100 / abs(mean),
           v.min(), v.max(), stats.skew(v, bias=True)]
    print('{"%s", {%s}, %r, {%s}},' % (name, ", ".join(repr(x) for x in values), p,
                                     ", ".join("%.17g" % x for x in row)))
