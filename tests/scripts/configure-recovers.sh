#!/usr/bin/env bash
# A configure that failed, leaving its cache behind, is run again by the next
# build instead of leaving every later run without a Makefile. The failure is
# a real one: the first configure gets a cache value that cannot work. The
# build step itself is skipped; the dependency sources are the build's own.
. "$(dirname "$0")/lib.sh"
scratch=$(scratch_folder configure-recovers)
tree=$scratch/tree
mkdir -p "$tree/_deps" "$scratch/bin"
ln -s "$build/_deps/src" "$tree/_deps/src"
real_cmake=$(command -v cmake)
cat >"$scratch/bin/cmake" <<SHIM
#!/bin/sh
[ "\$1" = "--build" ] && exit 0
if [ ! -f "$scratch/failed-once" ]; then
  touch "$scratch/failed-once"
  exec "$real_cmake" "\$@" -DOSTREL_GOOGLETEST_DIR=/nonexistent
fi
exec "$real_cmake" "\$@"
SHIM
chmod +x "$scratch/bin/cmake"

build_scratch() { PATH=$scratch/bin:$PATH OSTREL_BUILD_DIR=$tree "$root/scripts/build.sh" 2>&1; }
output=$(build_scratch) && fail "the injected configure failure went unnoticed"
expect_text "configure failed" "$output"
[ -f "$tree/CMakeCache.txt" ] && [ ! -f "$tree/Makefile" ] || fail "not the state a failed configure leaves"
output=$(build_scratch) || fail "the build after a failed configure failed: $output"
[ -f "$tree/Makefile" ] || fail "no Makefile after the second configure"
grep -qx 'OSTREL_GOOGLETEST_DIR:PATH=/usr/src/googletest' "$tree/CMakeCache.txt" ||
  fail "the failed configure's value survived"
rm -rf "$scratch"
