#!/usr/bin/env bash
# Makes docs/suggest-grid.png and docs/suggest-relief.png: polar plots of a
# grid of about 60 positions and of 60 photographs suggested for a relief
# (the benchmark's relief, bench/ReliefModel.h, 250 x 250 mm at 300 x 300
# cells), with the figures of both printed.
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
# 24 degree steps: 50 positions, the grid nearest to 60 usable ones.
"$cli" coverage "$work/relief.ply" --fit --vertical-step 24 --horizontal-step 24
"$cli" report --vertical-step 24 --horizontal-step 24 --plot docs/suggest-grid.png
