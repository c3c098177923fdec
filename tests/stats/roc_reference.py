# Reference ROC curves and LDA weights from scikit-learn, for RocSklearnTest. Reads the
# cases from a JSON file and writes one result per case. Exit code 3 when scikit-learn is
# missing, so the test can skip with a message.
import sys
import warnings

from reference_io import run

try:
    import numpy as np
    import sklearn
    from sklearn.discriminant_analysis import LinearDiscriminantAnalysis
    from sklearn.metrics import roc_auc_score, roc_curve
except ImportError as error:
    print("scikit-learn is not available: %s" % error)
    sys.exit(3)


def curve(neg, pos):
    y = np.array([0] * len(neg) + [1] * len(pos))
    s = np.array(neg + pos, dtype=float)
    auc = roc_auc_score(y, s)
    flipped = auc < 0.5
    scores = -s if flipped else s
    fpr, tpr, thr = roc_curve(y, scores, drop_intermediate=False)
    # scikit-learn 1.2 puts max + 1 first, 1.3 and later infinity: the test checks the first
    # threshold itself when it is left out (null).
    thr = [None if not np.isfinite(t) else float(t) for t in thr]
    if flipped:
        thr = [None if t is None else -t for t in thr]
        auc = roc_auc_score(y, -s)
    best = int(np.argmax(tpr - fpr))
    return {
        "fpr": [float(v) for v in fpr],
        "tpr": [float(v) for v in tpr],
        "thresholds": thr,
        "auc": float(auc),
        "higherIsPositive": not flipped,
        "optimal": best,
        "version": sklearn.__version__,
    }


def lda(neg, pos):
    X = np.vstack([np.array(neg).T, np.array(pos).T])
    y = np.array([0] * len(neg[0]) + [1] * len(pos[0]))
    model = LinearDiscriminantAnalysis(solver="lsqr").fit(X, y)
    coef = model.coef_[0]
    auc = roc_auc_score(y, X @ coef)
    return {"coef": [float(c) for c in coef], "auc": float(max(auc, 1.0 - auc))}


if __name__ == "__main__":
    warnings.filterwarnings("ignore")
    run(lambda case: curve(case["neg"], case["pos"]) if case["kind"] == "roc" else lda(case["neg"], case["pos"]))
