#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, and runs every test
# under Wine. Extra arguments go to ctest (for example -R ZipFile).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTREL_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
"$root/scripts/build.sh"
exec "$root/scripts/wine-session.sh" \
  ctest --test-dir "$build" --output-on-failure --timeout 300 -j "$(nproc)" "$@"
