#!/usr/bin/env bash
# Makes docs/screenshot.png: Quorvel on a virtual display (Xvfb) with a
# reference model loaded through the toolbar and the pattern generated with
# "Generate -->", both clicked as a user would. Also checks that the
# window's acquisition.txt equals the one from quorvel-cli pattern.
#
#   scripts/screenshot.sh [output.png]      (default docs/screenshot.png)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/window-shot.sh
shot_prepare "${1:-docs/screenshot.png}" quorvel quorvel-cli

shot_relief "$work/coin.ply" 120 28 no "demo relief for the screenshot"

cat >"$work/steps.sh" <<'STEPS'
open_model "$work/coin.ply"
# The first click may only close the file name completer's popup; a second
# generation rewrites the same file.
click_generate
sleep 0.5
click_generate
sleep 1.5
STEPS
shot_window "$work/steps.sh"

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
shot_publish
echo "wrote $out (acquisition.txt identical to quorvel-cli pattern)"
