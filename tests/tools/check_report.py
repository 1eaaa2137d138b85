#!/usr/bin/env python3
"""Independent check of `quorvel-cli report --json`, used by the tests.

Places the positions from the dome's closed form (single precision emulated
as in reference_pattern.py), flags them from the set-up's geometry, and
recomputes the figures with numpy: brute-force nearest neighbours, the
largest empty cap sampled on a fine grid, and the condition numbers from
numpy's SVD with the fitting bases written out term by term.
Usage: check_report.py CLI h v d ezero epiano size height camdist [grazing [WxH focal]]
"""
import json
import math
import os
import subprocess
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from reference_pattern import f32  # noqa: E402

HALF = 50.0  # the camera's cube


def positions(h, v, d, ezero, epiano):
    M = int(180.0 / f32(h) + 1)
    P = int(180.0 / f32(v) + 1)
    pi_f = f32(3.1415927)
    out = []
    for i in range(P):
        a = i * v
        pole = a in (0, 180)
        if epiano and pole:
            continue
        rad = a * (1.0 / 180) * 3.1415
        yr, rr = f32(d * math.cos(rad)), f32(d * math.sin(rad))
        if pole:
            out.append((-rr, yr, 0.0))
            continue
        for j in range(M):
            b = j * h
            if (epiano and b in (0, 180)) or (ezero and a == 90 and b == 90):
                continue
            t = f32(b * pi_f / 180)
            out.append((f32(-rr * f32(math.cos(t))), yr, f32(rr * f32(math.sin(t)))))
    return np.array(out, dtype=np.float64).reshape(-1, 3)


def blocked(p, cam):
    # Points t * p, t in [0, 1], inside the cube centred on the axis at cam.
    lo, hi = 0.0, 1.0
    for c in (p[0], p[1]):
        if c != 0:
            hi = min(hi, HALF / abs(c))
    if p[2] > 0:
        lo = max(lo, (cam - HALF) / p[2])
        hi = min(hi, (cam + HALF) / p[2])
    elif not (cam - HALF <= 0 <= cam + HALF):
        return False
    return lo <= hi


def in_picture(p, cam, w, hgt, f):
    depth = cam - p[2]
    return depth > 0 and abs(p[0]) <= depth * w / (2 * f) and abs(p[1]) <= depth * hgt / (2 * f)


def chord_angles(a, b):
    d = np.linalg.norm(a[:, None, :] - b[None, :, :], axis=2)
    return np.degrees(2 * np.arcsin(np.minimum(1.0, d / 2)))


def ptm_rows(u):
    lu, lv = u[:, 0], u[:, 1]
    return np.column_stack([lu * lu, lv * lv, lu * lv, lu, lv, np.ones(len(u))])


def hsh_rows(u, order):
    x = 2 * np.clip(u[:, 2], 0, 1) - 1  # shifted cos(theta)
    phi = np.arctan2(u[:, 1], u[:, 0])
    s = np.sqrt(1 - x * x)
    legendre = {(0, 0): np.ones_like(x), (1, 0): x, (1, 1): -s,
                (2, 0): (3 * x * x - 1) / 2, (2, 1): -3 * x * s, (2, 2): 3 * s * s}
    cols = []
    for l in range(order):
        for m in range(-l, l + 1):
            am = abs(m)
            k = math.sqrt((2 * l + 1) / (2 * math.pi) * math.factorial(l - am) / math.factorial(l + am))
            p = legendre[(l, am)]
            if m == 0:
                cols.append(k * p)
            elif m > 0:
                cols.append(math.sqrt(2) * k * np.cos(m * phi) * p)
            else:
                cols.append(math.sqrt(2) * k * np.sin(am * phi) * p)
    return np.column_stack(cols)


def condition(a):
    if a.shape[0] < a.shape[1]:
        return None
    c = np.linalg.cond(a)
    return None if not np.isfinite(c) or c >= 1e6 else c


def largest_cap(u, g):
    # Centres every 0.2 degrees: within 0.15 degrees of the true largest.
    els = np.radians(np.arange(g, 90.0001, 0.2))
    azs = np.radians(np.arange(0, 360, 0.2))
    best = 0.0
    for e in els:
        c = np.column_stack([np.cos(e) * np.cos(azs), np.cos(e) * np.sin(azs), np.full(len(azs), np.sin(e))])
        nearest = np.degrees(np.arccos(np.clip((c @ u.T).max(axis=1), -1, 1)))
        best = max(best, nearest.max())
    return best


def main():
    args = sys.argv[1:]
    cli = args[0]
    h, v, d, ez, ep, size, height, cam = (int(x) for x in args[1:9])
    grazing = float(args[9]) if len(args) > 9 else 10.0
    lens = None
    cmd = [cli, "report", "--json", "--horizontal-step", str(h), "--vertical-step", str(v),
           "--view-distance", str(d), "--object-size", str(size), "--object-height", str(height),
           "--camera-distance", str(cam), "--grazing", args[9] if len(args) > 9 else "10"]
    if ez:
        cmd.append("--exclude-central-point")
    if ep:
        cmd.append("--exclude-base-plane")
    if len(args) > 11:
        w, hs = (float(x) for x in args[10].split("x"))
        lens = (w, hs, float(args[11]))
        cmd += ["--sensor", args[10], "--focal", args[11]]
    run = subprocess.run(cmd, capture_output=True, text=True)
    if run.returncode != 0:
        print("quorvel-cli failed:", run.returncode, run.stderr)
        return 1
    got = json.loads(run.stdout)

    pos = positions(h, v, d, ez, ep)
    units = pos / np.linalg.norm(pos, axis=1)[:, None]
    elev = np.degrees(np.arcsin(np.clip(units[:, 2], -1, 1)))
    flags = []
    for p, e in zip(pos, elev):
        f = []
        if height + p[1] < 0:
            f.append("below_floor")
        if blocked(p, cam):
            f.append("blocked_by_camera")
        if lens and in_picture(p, cam, *lens):
            f.append("in_picture")
        if e < grazing - 1e-4:
            f.append("grazing")
        flags.append(f)
    usable = units[[not f for f in flags]]

    errors = []

    def check(name, want, have, tol=0.0):
        ok = (want is None and have is None) or (
            want is not None and have is not None and abs(want - have) <= tol * max(1.0, abs(want)))
        if not ok:
            errors.append("%s: expected %s, got %s" % (name, want, have))

    check("positions", len(pos), got["positions"])
    check("usable", len(usable), got["usable"])
    for key in ("below_floor", "blocked_by_camera", "grazing"):
        check(key, sum(key in f for f in flags), got[key])
    if lens:
        check("in_picture", sum("in_picture" in f for f in flags), got["in_picture"])
    for i, (f, p) in enumerate(zip(flags, got["points"])):
        if f != p["flags"]:
            errors.append("position %d: flags %s, got %s" % (i + 1, f, p["flags"]))

    if len(usable) >= 2:
        a = chord_angles(usable, usable)
        np.fill_diagonal(a, np.inf)
        nn = np.sort(a.min(axis=1))
        nb = got["nearest_neighbour"] or {}
        check("nearest min", nn[0], nb.get("min"), 1e-5)
        check("nearest median", float(np.median(nn)), nb.get("median"), 1e-5)
        check("nearest max", nn[-1], nb.get("max"), 1e-5)
    else:
        check("nearest_neighbour", None, got["nearest_neighbour"])
    if len(usable):
        cap = largest_cap(usable, grazing)
        if got["largest_empty_cap"] is None or abs(cap - got["largest_empty_cap"]) > 0.25:
            errors.append("largest empty cap: sampled %.3f, got %s" % (cap, got["largest_empty_cap"]))

    fits = {f["name"]: f for f in got["fits"]}
    for name, rows in (("PTM", ptm_rows(usable)), ("HSH order 2", hsh_rows(usable, 2)),
                       ("HSH order 3", hsh_rows(usable, 3))):
        c = condition(rows)
        check(name + " condition", c, fits[name]["condition"], 1e-5)
        if fits[name]["can_fit"] != (c is not None):
            errors.append("%s: can_fit %s" % (name, fits[name]["can_fit"]))

    for e in errors:
        print(e)
    print("checked %d positions, %d usable, conditions %s" % (
        len(pos), len(usable), [fits[n]["condition"] for n in ("PTM", "HSH order 2", "HSH order 3")]))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
