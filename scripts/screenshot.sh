#!/usr/bin/env bash
# Makes docs/screenshot.png: Quorvel on a virtual display (Xvfb) with a
# reference model loaded through the toolbar and the pattern generated with
# "Generate -->", both clicked as a user would. Also checks that the
# window's acquisition.txt equals the one from quorvel-cli pattern.
#
#   scripts/screenshot.sh [output.png]      (default docs/screenshot.png)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out="${1:-docs/screenshot.png}"
case "$out" in /*) ;; *) out="$root/$out" ;; esac
build="${QUORVEL_BUILD_DIR:-build/default}"

scripts/setup.sh
if [ ! -f "$build/build.ninja" ]; then cmake --preset default >/dev/null; fi
cmake --build "$build" -j "$(nproc)" --target quorvel quorvel-cli

work=$(mktemp -d)
[ -n "${QUORVEL_KEEP_WORK:-}" ] && echo "work: $work" || trap 'rm -rf "$work"' EXIT

# A coin-like relief, 240 units across, facing the camera just in front of
# the backdrop: the kind of object a PTM is made of.
python3 - "$work/coin.ply" <<'PY'
import math, sys
n = 120
pts, faces = [], []
for j in range(n + 1):
    for i in range(n + 1):
        x = (i / n - 0.5) * 240
        y = (j / n - 0.5) * 240
        r = math.hypot(x, y)
        if r <= 120:
            h = 20 + 6 * math.cos(r / 9) * math.exp(-r / 90) + 10 * math.exp(-((x + 25) ** 2 + (y - 20) ** 2) / 900)
            if r > 110:
                h = 28
        else:
            h = 12
        pts.append((x, y, h))
idx = lambda i, j: j * (n + 1) + i
for j in range(n):
    for i in range(n):
        a, b, c, d = idx(i, j), idx(i + 1, j), idx(i + 1, j + 1), idx(i, j + 1)
        faces += [(a, b, c), (a, c, d)]
with open(sys.argv[1], "w") as f:
    f.write("ply\nformat ascii 1.0\ncomment demo relief for the screenshot\n")
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
# The toolbar button (8 + 29/2, 29/2), then the file name typed into the dialog.
click 22 14
sleep 1.5
xdotool type --delay 20 "$work/coin.ply"
xdotool key Return
sleep 1.5
# "Generate -->": Panel4 at (24, 256) in Panel1, which sits under the
# 29-pixel toolbar; the button at (16, 184) in Panel4, 97 x 25.
# The first click may only close the file name completer's popup; a second
# generation rewrites the same file.
click $((24 + 16 + 48)) $((29 + 256 + 184 + 12))
sleep 0.5
click $((24 + 16 + 48)) $((29 + 256 + 184 + 12))
sleep 1.5
# Out of the way, so no button shows a hover highlight.
xdotool mousemove "$((X + WIDTH - 5))" "$((Y + HEIGHT - 5))"
sleep 0.5
import -window root "$work/root.png"
convert "$work/root.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot"
DRIVE
chmod +x "$work/drive.sh"

xvfb-run -a -s "-screen 0 1280x1024x24" "$work/drive.sh" "$work" "$root/$build/src/app/quorvel" "$work/shot.png"

if [ ! -f "$work/acquisition.txt" ]; then
  echo "screenshot: the window wrote no acquisition.txt (Generate --> not reached)" >&2
  cat "$work/app.log" >&2 || true
  exit 1
fi
(cd "$work" && "$root/$build/src/cli/quorvel-cli" pattern --output cli.txt >/dev/null)
if ! cmp -s "$work/acquisition.txt" "$work/cli.txt"; then
  echo "screenshot: the window's acquisition.txt differs from quorvel-cli pattern" >&2
  exit 1
fi
mkdir -p "$(dirname "$out")"
cp "$work/shot.png" "$out"
echo "wrote $out (acquisition.txt identical to quorvel-cli pattern)"
