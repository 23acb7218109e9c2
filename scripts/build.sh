#!/usr/bin/env bash
# Configures (once) and builds the whole tree in build/ with the mingw-w64
# toolchain. The fetched dependency sources and their objects stay in build/
# and are reused by the next run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTREL_BUILD_DIR:-$root/build}

"$root/scripts/fetch-sources.sh" "$build/_deps/src" >/dev/null
mkdir -p "$build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >"$build/configure.log" 2>&1 || {
    cat "$build/configure.log" >&2; exit 1; }
fi
cmake --build "$build" -j "$(nproc)" -- --no-print-directory -s
