#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quorvel.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh default
if [ -x build/default/src/app/quorvel ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: set DISPLAY, or run under xvfb-run -a." >&2
    exit 1
  fi
  exec build/default/src/app/quorvel "$@"
fi
# Without the window, compute the pattern with the defaults.
exec build/default/src/cli/quorvel-cli pattern "$@"
