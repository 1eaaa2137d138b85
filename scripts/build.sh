#!/usr/bin/env bash
# Configures (once) and builds one preset: scripts/build.sh [default|asan]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
extra=()
# Warnings are errors in CI.
if [ "${CI:-}" = "true" ]; then extra+=(-DQUORVEL_WERROR=ON); fi
if [ ! -f "build/$preset/build.ninja" ] || [ ${#extra[@]} -gt 0 ]; then
  cmake --preset "$preset" "${extra[@]}" >/dev/null
fi
cmake --build --preset "$preset" -j "$(nproc)"
