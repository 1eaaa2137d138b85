#!/usr/bin/env python3
"""Independent reference for the acquisition file, used by the tests.

Written from the file's definition, not from the C++ generator: points are
placed with the closed form (-R cos t, Y, R sin t) instead of a rotation
matrix, and single precision is emulated by packing through struct.
Usage: reference_pattern.py OUT [hstep vstep viewd ezero epiano size height camdist]
"""
import math
import struct
import sys


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def trunc(x):
    return int(x)  # toward zero


def pattern(h, v, d, ezero, epiano, size, height, cam):
    hf, vf = f32(h), f32(v)
    M = trunc(180.0 / hf + 1)
    P = trunc(180.0 / vf + 1)
    sep = "-" * 51
    out = []
    out.append("PTM ACQUISITION PATTERN\n")
    out.append("\n%s\n" % sep)
    out.append("object size         %6i\n" % size)
    out.append("object height       %6i\n" % height)
    out.append("camera distance     %6i\n" % cam)
    out.append("horizontal angle    %6.2f\n" % hf)
    out.append("vertical angle      %6.2f\n" % vf)
    out.append("parallels           %6i\n" % P)
    out.append("meridiens           %6i\n" % M)
    out.append("\n%s\n\n" % sep)
    out.append("rows from bottom to top. points from left to right\n\n\n")
    pi_f = f32(3.1415927)
    total = 0
    for i in range(P):
        a = i * v
        pole = a in (0, 180)
        if epiano and pole:
            continue
        rad = a * (1.0 / 180) * 3.1415
        yr = f32(d * math.cos(rad))
        rr = f32(d * math.sin(rad))
        out.append("%s\n" % sep)
        out.append("row # %6i\n\n" % i)
        out.append("height     %6i\n" % trunc(height + yr))
        out.append("distance   %6i\n" % trunc(rr))
        out.append("\n")
        if pole:
            out.append("%3i]  % 6i  % 6i  % 6i\n" % (0, trunc(-rr), trunc(yr), 0))
            total += 1
        else:
            for j in range(M):
                b = j * h
                if epiano and b in (0, 180):
                    continue
                if ezero and b == 90 and a == 90:
                    continue
                theta = f32(b * pi_f / 180)
                c = f32(math.cos(theta))
                s = f32(math.sin(theta))
                x = f32(-rr * c)
                z = f32(rr * s)
                out.append("%3i]  % 6i  % 6i  % 6i\n" % (j, trunc(x), trunc(yr), trunc(z)))
                total += 1
        out.append("\n\n")
        out.append("%s\n" % sep)
    out.append("Total points   %4i\n" % total)
    return "".join(out)


def main():
    args = sys.argv[1:]
    if not args:
        print(__doc__, file=sys.stderr)
        return 2
    nums = [int(x) for x in args[1:]] or [15, 15, 1500, 0, 0, 250, 1000, 1000]
    text = pattern(*nums)
    with open(args[0], "w", newline="\n") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
