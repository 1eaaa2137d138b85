#!/usr/bin/env bash
# Makes docs/coverage.png: Quorvel on a virtual display (Xvfb) with a relief
# loaded through the toolbar, a coarse plan (45 degree steps) generated with
# "Generate -->" and "Light coverage" turned on, all as a user would.
#
#   scripts/coverage-screenshot.sh [output.png]      (default docs/coverage.png)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out="${1:-docs/coverage.png}"
case "$out" in /*) ;; *) out="$root/$out" ;; esac
build="${QUORVEL_BUILD_DIR:-build/default}"

scripts/setup.sh
if [ ! -f "$build/build.ninja" ]; then cmake --preset default >/dev/null; fi
cmake --build "$build" -j 2 --target quorvel

work=$(mktemp -d)
[ -n "${QUORVEL_KEEP_WORK:-}" ] && echo "work: $work" || trap 'rm -rf "$work"' EXIT

# A coin-like relief, 240 mm across, with a raised rim and three ridges like
# strokes of lettering: each ridge shadows the side away from a low light.
python3 - "$work/relief.ply" <<'PY'
import math, sys
n = 160
pts, faces = [], []
for j in range(n + 1):
    for i in range(n + 1):
        x = (i / n - 0.5) * 240
        y = (j / n - 0.5) * 240
        r = math.hypot(x, y)
        if r <= 120:
            h = 20 + 6 * math.cos(r / 9) * math.exp(-r / 90) + 10 * math.exp(-((x + 25) ** 2 + (y - 20) ** 2) / 900)
            for (a, b, c) in ((1, 0.35, -30), (0.15, 1, 35), (-0.8, 0.6, 10)):
                d = abs(a * x + b * y + c) / math.hypot(a, b)
                h += 9 * max(0.0, 1 - d / 3)
            if r > 110:
                h = 34
        else:
            h = 12
        pts.append((x, y, h))
idx = lambda i, j: j * (n + 1) + i
for j in range(n):
    for i in range(n):
        a, b, c, d = idx(i, j), idx(i + 1, j), idx(i + 1, j + 1), idx(i, j + 1)
        faces += [(a, b, c), (a, c, d)]
with open(sys.argv[1], "w") as f:
    f.write("ply\nformat ascii 1.0\ncomment demo relief for the coverage screenshot\n")
    f.write(f"element vertex {len(pts)}\nproperty float x\nproperty float y\nproperty float z\n")
    f.write(f"element face {len(faces)}\nproperty list uchar int vertex_indices\nend_header\n")
    for p in pts:
        f.write("%.3f %.3f %.3f\n" % p)
    for t in faces:
        f.write("3 %d %d %d\n" % t)
PY

cat >"$work/drive.sh" <<'DRIVE'
#!/usr/bin/env bash
set -euo pipefail
work="$1"; app="$2"; shot="$3"
cd "$work"
"$app" >"$work/app.log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
win=$(xdotool search --sync --onlyvisible --name '^Quorvel - NUK 2006$' | head -n1)
sleep 1
eval "$(xdotool getwindowgeometry --shell "$win")" # X, Y, WIDTH, HEIGHT
click() { xdotool mousemove "$((X + $1))" "$((Y + $2))" click 1; }
# A field of Panel4 (at (24, 256) in Panel1, under the 29-pixel toolbar):
# select its text and type a new value.
field() { click $((24 + $1 + 20)) $((29 + 256 + $2 + 11)); xdotool key ctrl+a; xdotool type "$3"; xdotool key Tab; }
# The toolbar's load button, then the file name typed into the dialog.
click 22 14
sleep 1.5
xdotool type --delay 20 "$work/relief.ply"
xdotool key Return
sleep 2
# A click on the panel's background closes the file name completer's popup.
click 150 260
# A coarse plan: 45 degree steps leave parts of the relief short of lights.
field 112 59 45
field 112 91 45
# "Generate -->" (at (16, 184) in Panel4, 97 x 25).
click $((24 + 16 + 48)) $((29 + 256 + 184 + 12))
sleep 1
# "Light coverage" (Ctrl+L).
xdotool key ctrl+l
sleep 3
# Closer: wheel steps down over the view enlarge the scene.
xdotool mousemove "$((X + 420))" "$((Y + 300))"
for _ in $(seq 22); do xdotool click 5; sleep 0.1; done
# Turn the scene so the relief faces the viewer more: a slow left drag
# (a quick one would leave it spinning).
xdotool mousedown 1
for k in $(seq 1 70); do xdotool mousemove "$((X + 420 + 4 * k))" "$((Y + 300 + 1 * k))"; sleep 0.05; done
sleep 0.5
xdotool mouseup 1
sleep 1
# Out of the way, so no button shows a hover highlight.
xdotool mousemove "$((X + WIDTH - 5))" "$((Y + HEIGHT - 5))"
sleep 0.5
import -window root "$work/root.png"
convert "$work/root.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot"
DRIVE
chmod +x "$work/drive.sh"

xvfb-run -a -s "-screen 0 1280x1024x24" "$work/drive.sh" "$work" "$root/$build/src/app/quorvel" "$work/shot.png"
mkdir -p "$(dirname "$out")"
cp "$work/shot.png" "$out"
echo "wrote $out"
