#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest.
# The window tests need an X display: without one, CTest runs under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh default
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset default "$@"
fi
exec ctest --preset default "$@"
