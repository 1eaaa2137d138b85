#!/usr/bin/env bash
# AddressSanitizer and UndefinedBehaviorSanitizer over the unit tests and the
# fuzz corpora (clang, libFuzzer).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh asan
exec ctest --preset asan "$@"
