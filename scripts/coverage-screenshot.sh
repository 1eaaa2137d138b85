#!/usr/bin/env bash
# Makes docs/coverage.png: Quorvel on a virtual display (Xvfb) with a relief
# loaded through the toolbar, a coarse plan (30 degree steps) generated with
# "Generate -->" and "Light coverage" turned on, all as a user would.
#
#   scripts/coverage-screenshot.sh [output.png]      (default docs/coverage.png)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/window-shot.sh
shot_prepare "${1:-docs/coverage.png}" quorvel

# Ridges like strokes of lettering: each shadows the side away from a low
# light.
shot_relief "$work/relief.ply" 160 34 yes "demo relief for the coverage screenshot"

cat >"$work/steps.sh" <<'STEPS'
# A field of Panel4 (at (24, 256) in Panel1, under the toolbar): select its
# text and type a new value.
field() { click $((24 + $1 + 20)) $((top + 256 + $2 + 11)); xdotool key ctrl+a; xdotool type "$3"; xdotool key Tab; }
open_model "$work/relief.ply"
sleep 0.5
# A click on the panel's background closes the file name completer's popup.
click 150 $((top + 231))
# A coarse plan: 30 degree steps leave parts of the relief short of lights.
field 112 59 30
field 112 91 30
click_generate
sleep 1
# "Light coverage" (Ctrl+Shift+L).
xdotool key ctrl+shift+l
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
STEPS
shot_window "$work/steps.sh"
shot_publish
echo "wrote $out"
