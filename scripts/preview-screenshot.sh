#!/usr/bin/env bash
# Makes docs/preview.png: "Preview photographs…" on a virtual display
# (Xvfb), for a relief with ridges opened as a plan with its sensor and lens,
# generated and previewed through the menus' shortcuts as a user would.
#
#   scripts/preview-screenshot.sh [output.png]      (default docs/preview.png)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/window-shot.sh
shot_prepare "${1:-docs/preview.png}" quorvel quorvel-cli

shot_relief "$work/coin.ply" 160 28 yes "demo relief for the preview"
(cd "$work" && "$root/$build/src/cli/quorvel-cli" plan --output coin.qplan --model coin.ply \
  --sensor 36x24 --focal 85 >/dev/null)

cat >"$work/steps.sh" <<'STEPS'
xdotool mousemove "$((X + 700))" "$((Y + 400))" click 1 # the window takes the keys
xdotool key ctrl+o
sleep 1.5
xdotool type --delay 20 "$work/coin.qplan"
xdotool key Return
sleep 3
xdotool mousemove "$((X + 700))" "$((Y + 400))" click 1 # the file dialog took the focus away
xdotool key ctrl+g
sleep 1
xdotool key ctrl+shift+p
preview=$(xdotool search --sync --onlyvisible --limit 1 --name '^Preview photographs$')
sleep 25 # both passes
xdotool key --window "$preview" Right Right Right Right Right Right
sleep 1
eval "$(xdotool getwindowgeometry --shell "$preview")"
STEPS
shot_window "$work/steps.sh"
shot_publish
echo "wrote $out"
