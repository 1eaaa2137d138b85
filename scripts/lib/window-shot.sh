# Sourced by the screenshot scripts (from the repository's root): builds what
# they need, makes a relief model, and drives the window on a virtual
# display (Xvfb) as a user would.

# shot_prepare OUT TARGET...: sets root, out (made absolute), build and work
# (a scratch folder, removed on exit unless QUORVEL_KEEP_WORK is set), and
# builds the TARGETs.
shot_prepare() {
  root=$(pwd)
  out="$1"
  shift
  case "$out" in /*) ;; *) out="$root/$out" ;; esac
  build="${QUORVEL_BUILD_DIR:-build/default}"

  scripts/setup.sh
  if [ ! -f "$build/build.ninja" ]; then cmake --preset default >/dev/null; fi
  cmake --build "$build" -j 2 --target "$@"

  work=$(mktemp -d)
  [ -n "${QUORVEL_KEEP_WORK:-}" ] && echo "work: $work" || trap 'rm -rf "$work"' EXIT
}

# shot_relief FILE CELLS RIM RIDGES COMMENT: an ASCII PLY of a coin-like
# relief 240 mm across, facing the camera just in front of the backdrop
# (the kind of object a PTM is made of): CELLS x CELLS cells, a raised rim
# RIM mm high, and with RIDGES=yes three ridges like strokes of lettering,
# each shadowing the side away from a low light.
shot_relief() {
  python3 - "$@" <<'PY'
import math, sys
path, n, rim, ridges, comment = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), sys.argv[4] == "yes", sys.argv[5]
pts, faces = [], []
for j in range(n + 1):
    for i in range(n + 1):
        x = (i / n - 0.5) * 240
        y = (j / n - 0.5) * 240
        r = math.hypot(x, y)
        if r <= 120:
            h = 20 + 6 * math.cos(r / 9) * math.exp(-r / 90) + 10 * math.exp(-((x + 25) ** 2 + (y - 20) ** 2) / 900)
            if ridges:
                for (a, b, c) in ((1, 0.35, -30), (0.15, 1, 35), (-0.8, 0.6, 10)):
                    d = abs(a * x + b * y + c) / math.hypot(a, b)
                    h += 9 * max(0.0, 1 - d / 3)
            if r > 110:
                h = rim
        else:
            h = 12
        pts.append((x, y, h))
idx = lambda i, j: j * (n + 1) + i
for j in range(n):
    for i in range(n):
        a, b, c, d = idx(i, j), idx(i + 1, j), idx(i + 1, j + 1), idx(i, j + 1)
        faces += [(a, b, c), (a, c, d)]
with open(path, "w") as f:
    f.write(f"ply\nformat ascii 1.0\ncomment {comment}\n")
    f.write(f"element vertex {len(pts)}\nproperty float x\nproperty float y\nproperty float z\n")
    f.write(f"element face {len(faces)}\nproperty list uchar int vertex_indices\nend_header\n")
    for p in pts:
        f.write("%.3f %.3f %.3f\n" % p)
    for t in faces:
        f.write("3 %d %d %d\n" % t)
PY
}

# shot_window STEPS: starts the window on a virtual display, in $work (where
# it writes acquisition.txt), runs the bash file STEPS with the helpers
# below, and leaves the window's picture in $work/shot.png.
shot_window() {
  # Settings of its own: the shot starts as a first run, whatever a run
  # before it remembered, and leaves the user's settings alone.
  XDG_CONFIG_HOME="$work/config" xvfb-run -a -s "-screen 0 1280x1024x24" bash -c 'set -euo pipefail; source "$0"; shot_drive "$@"' \
    "$root/scripts/lib/window-shot.sh" "$work" "$root/$build/src/app/quorvel" "$1"
}

# Under the virtual display: the window started, STEPS run, the screen
# cropped to the window.
shot_drive() {
  local work="$1" app="$2" steps="$3"
  cd "$work"
  "$app" >"$work/app.log" 2>&1 &
  local pid=$!
  trap "kill $pid 2>/dev/null || true" EXIT
  local win
  win=$(xdotool search --sync --onlyvisible --name '^Quorvel - NUK 2006$' | head -n1)
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$win")" # X, Y, WIDTH, HEIGHT
  source "$steps"
  # Out of the way, so no button shows a hover highlight.
  xdotool mousemove "$((X + WIDTH - 5))" "$((Y + HEIGHT - 5))"
  sleep 0.5
  import -window root "$work/root.png"
  convert "$work/root.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$work/shot.png"
}

# click X Y: a left click at (X, Y) in the window.
click() { xdotool mousemove "$((X + $1))" "$((Y + $2))" click 1; }

# The toolbar sits under the 18-pixel menu bar, the panels under the
# 29-pixel toolbar.
menu=18
top=$((menu + 29))

# open_model FILE: the toolbar's load button (8 + 29/2, 29/2), then the file
# name typed into the dialog.
open_model() {
  click 22 $((menu + 14))
  sleep 1.5
  xdotool type --delay 20 "$1"
  xdotool key Return
  sleep 1.5
}

# "Generate -->": Panel4 at (24, 256) in Panel1, which sits under the
# toolbar; the button at (16, 184) in Panel4, 97 x 25.
click_generate() { click $((24 + 16 + 48)) $((top + 256 + 184 + 12)); }

# shot_publish: the picture to $out.
shot_publish() {
  mkdir -p "$(dirname "$out")"
  cp "$work/shot.png" "$out"
}
