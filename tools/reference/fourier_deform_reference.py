#!/usr/bin/python3
# Reference values of the Fourier-deformation tests, from closed forms (run with Debian's
# python3, which has scipy): the deformation 1 - 2 sqrt(pi A) / P of an ellipse from the
# complete elliptic integral of its perimeter, and of the regular 100-gon.
import math
from scipy.special import ellipe

a, b = 30.0, 15.0
perimeter = 4.0 * a * ellipe(1.0 - (b / a) ** 2)
area = math.pi * a * b
print("ellipse 30 x 15: perimeter %.4f, deformation %.5f" % (perimeter, 1.0 - 2.0 * math.sqrt(math.pi * area) / perimeter))

n = 100
print("regular %d-gon: deformation %.8f" % (n, 1.0 - math.sqrt(math.pi / (n * math.tan(math.pi / n)))))
