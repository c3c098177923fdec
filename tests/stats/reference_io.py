# The JSON hand-over of the reference scripts: the cases come in the file named first on
# the command line, one result per case goes to the file named second.
import json
import sys


def run(compute):
    with open(sys.argv[1]) as f:
        cases = json.load(f)
    with open(sys.argv[2], "w") as f:
        json.dump([compute(case) for case in cases], f)
