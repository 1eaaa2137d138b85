#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quorvel.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh default
if [ -x build/default/src/app/quorvel ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: set DISPLAY, or start it on a virtual one:" >&2
    echo "  xvfb-run -a -s \"-screen 0 1280x1024x24\" scripts/run.sh" >&2
    exit 1
  fi
  exec build/default/src/app/quorvel "$@"
fi
# Without the window, compute the pattern with the defaults.
exec build/default/src/cli/quorvel-cli pattern "$@"
