#!/usr/bin/env bash
# Makes docs/suggest-grid.png, docs/suggest-relief.png and
# docs/suggest-groove.png: polar plots of a grid of about 60 positions, of
# 60 photographs suggested for a relief (the benchmark's relief,
# bench/ReliefModel.h, 250 x 250 mm at 300 x 300 cells), and of 24 suggested
# for a block with a groove 20 mm wide and 60 mm deep running up and down,
# with the figures printed; and docs/suggest-groove-lights.png and
# docs/suggest-grid-groove-lights.png, the groove in the coverage colours
# under the suggestion and under a grid of as many usable positions.
#
#   scripts/suggest-plots.sh            (after a build of the default preset)
set -euo pipefail
cd "$(dirname "$0")/.."
cli=build/default/src/cli/quorvel-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/relief.ply" 300 <<'PY'
import math, sys
path, n = sys.argv[1], int(sys.argv[2])
lines = [(1, 0.3, -40), (0.2, 1, 30), (-0.7, 0.7, 0), (1, -0.5, 60), (0.1, -1, -70)]
with open(path, "w") as f:
    f.write("ply\nformat ascii 1.0\ncomment relief of the suggestion's plots\n")
    f.write(f"element vertex {(n + 1) ** 2}\nproperty float x\nproperty float y\nproperty float z\n")
    f.write(f"element face {2 * n * n}\nproperty list uchar int vertex_indices\nend_header\n")
    for j in range(n + 1):
        for i in range(n + 1):
            x, y = 250 * (i / n - 0.5), 250 * (j / n - 0.5)
            z = 5 + 0.4 * math.sin(x / 3) * math.cos(y / 4)
            for a, b, c in lines:
                z += 8 * max(0.0, 1 - abs(a * x + b * y + c) / math.hypot(a, b) / 3)
            f.write(f"{x:.4f} {y:.4f} {z:.4f}\n")
    at = lambda i, j: j * (n + 1) + i
    for j in range(n):
        for i in range(n):
            f.write(f"3 {at(i, j)} {at(i + 1, j)} {at(i + 1, j + 1)}\n3 {at(i, j)} {at(i + 1, j + 1)} {at(i, j + 1)}\n")
PY

"$cli" suggest "$work/relief.ply" --fit --count 60 --output "$work/suggested.txt"
"$cli" report --from "$work/suggested.txt" --plot docs/suggest-relief.png
# 24 degree steps: 57 positions, 32 of them usable.
"$cli" coverage "$work/relief.ply" --fit --vertical-step 24 --horizontal-step 24
"$cli" report --vertical-step 24 --horizontal-step 24 --plot docs/suggest-grid.png

python3 - "$work/groove.ply" <<'PY'
import sys
# Floor 20 x 200 mm at z = 0 between two blocks 90 mm wide and 60 mm high.
pts, faces = [], []
def grid(o, u, v, nu, nv):
    first = len(pts)
    for j in range(nv + 1):
        for i in range(nu + 1):
            pts.append(tuple(o[k] + u[k] * i / nu + v[k] * j / nv for k in range(3)))
    at = lambda i, j: first + j * (nu + 1) + i
    for j in range(nv):
        for i in range(nu):
            faces.append((at(i, j), at(i + 1, j), at(i + 1, j + 1)))
            faces.append((at(i, j), at(i + 1, j + 1), at(i, j + 1)))
grid((-10, -100, 0), (20, 0, 0), (0, 200, 0), 10, 100)
grid((10, -100, 0), (0, 0, 60), (0, 200, 0), 30, 100)
grid((-10, -100, 0), (0, 200, 0), (0, 0, 60), 100, 30)
grid((10, -100, 60), (90, 0, 0), (0, 200, 0), 45, 100)
grid((-100, -100, 60), (90, 0, 0), (0, 200, 0), 45, 100)
with open(sys.argv[1], "w") as f:
    f.write(f"ply\nformat ascii 1.0\ncomment groove of the suggestion's plot\nelement vertex {len(pts)}\n")
    f.write("property float x\nproperty float y\nproperty float z\n")
    f.write(f"element face {len(faces)}\nproperty list uchar int vertex_indices\nend_header\n")
    for p in pts: f.write("%g %g %g\n" % p)
    for t in faces: f.write("3 %d %d %d\n" % t)
PY
# The block fitted to the object (250 mm across: the groove 25 mm wide and
# 75 mm deep), standing on the plate above the backdrop; the camera of the
# pictures below: 36 x 24 mm behind an 85 mm lens.
framing=(--sensor 36x24 --focal 85)
"$cli" suggest "$work/groove.ply" --fit --count 24 --min-lights 6 "${framing[@]}" --output "$work/groove.txt"
"$cli" report --from "$work/groove.txt" "${framing[@]}" --plot docs/suggest-groove.png

# The coverage colours of the groove as the camera sees it (the lights
# reaching each pixel unshadowed, predict's lights.png) for the 24
# suggested photographs and for a grid of 27-degree steps (23 usable).
# The groove's floor is the narrow band between the two blocks' tops.
"$cli" predict "$work/groove.ply" --fit --from "$work/groove.txt" "${framing[@]}" --maps "$work/suggested-maps"
cp "$work/suggested-maps/lights.png" docs/suggest-groove-lights.png
"$cli" predict "$work/groove.ply" --fit --vertical-step 27 --horizontal-step 27 "${framing[@]}" --maps "$work/grid-maps"
cp "$work/grid-maps/lights.png" docs/suggest-grid-groove-lights.png
