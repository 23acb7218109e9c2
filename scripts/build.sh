#!/usr/bin/env bash
# Configures and builds the whole tree in build/ (or OSTREL_BUILD_DIR) with the
# mingw-w64 toolchain. The fetched dependency sources and their objects stay in
# the build tree and are reused by the next run.
set -euo pipefail
. "$(dirname "$0")/common.sh"

mkdir -p "$build"
touch "$build/$build_marker"
"$root/scripts/fetch-sources.sh" "$build/_deps/src" >/dev/null

# A configure that failed leaves a cache but no Makefile; its cached values may
# be what failed, so the next run starts the configure afresh.
if [ ! -f "$build/Makefile" ]; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
  cmake -S "$root" -B "$build" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >"$build/configure.log" 2>&1 || {
    cat "$build/configure.log" >&2
    echo "build: configure failed (log: $build/configure.log); the next run configures again" >&2
    exit 1
  }
fi
cmake --build "$build" -j "$(nproc)" -- --no-print-directory -s
