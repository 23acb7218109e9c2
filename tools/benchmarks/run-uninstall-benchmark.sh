#!/usr/bin/env bash
# Removal of a generated game (1,000 and 10,000 files of 0.5-4 KB in 30 and
# 300 folders) by our quiet uninstaller, by the floor (the plainest
# DeleteFileW/RemoveDirectoryW loop over a list) and by two NSIS uninstallers
# (Delete lines, RMDir /r), alternating. Each is started from Linux and timed
# from Linux until the game folder is gone (tools/benchmarks/
# uninstall-benchmark.py); medians and ratios. Then, in runs of their own:
# the old measurement (the in-Wine timer with its old floor), which also gives
# the first PROGRESS line and the quiet copy's peak working set, and the floor
# timed with parts of that apparatus taken away. Builds nothing: run
# scripts/build.sh first. The games are made once in the build tree and
# copied into the prefix before every run.
#   tools/benchmarks/run-uninstall-benchmark.sh [runs]   (default 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${OSTREL_BUILD_DIR:-$root/build}
python3() { /usr/bin/python3 "$@"; }
runs=${1:-3}
runner=$build/tools/benchmarks/UninstallBenchmark.exe
data=$build/benchmark-uninstall

for exe in "$runner" "$build/tools/benchmarks/DeleteFloor.exe" \
           "$build/uninstaller/BenchmarkUninstaller10000.exe"; do
  if [ ! -f "$exe" ]; then
    echo "no $exe: build the tree first (scripts/build.sh)" >&2
    exit 1
  fi
done

make_game() {
  local files=$1 out=$data/game-$1
  [ -f "$out/.ready" ] && return 0
  echo "[bench] making the game of $files files in $out (once)"
  rm -rf "$out"
  python3 "$root/tools/benchmarks/make-uninstall-game.py" game "$files" "$out"
  (cd "$out" && makensis -V1 nsis-delete.nsi && makensis -V1 nsis-rmdir.nsi)
  touch "$out/.ready"
}

win_path() {
  local path=$1
  printf 'Z:%s' "${path//\//\\}"
}

make_game 1000
make_game 10000

# Inside one Wine session: the NSIS uninstallers are written by running their
# installers once, then the measurements run.
"$root/scripts/wine-session.sh" env DATA="$data" BUILD="$build" RUNS="$runs" ROOT="$root" \
  RUNNER="$runner" WIN_DATA="$(win_path "$data")" bash -c '
    set -e
    export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe=d"
    # Wine restarts its desktop process when a program needs it after the
    # last user has gone, and the new one inherits the handles of that
    # program; it would also start inside a measurement. A holder with its
    # output nowhere keeps one desktop for the whole session.
    ready="$DATA/desktop-ready"
    rm -f "$ready"
    wine "$RUNNER" hold-desktop "$WIN_DATA\\desktop-ready" >/dev/null 2>&1 </dev/null &
    holder=$!
    trap "kill $holder 2>/dev/null || true" EXIT
    for _ in $(seq 300); do [ -f "$ready" ] && break; sleep 0.1; done
    [ -f "$ready" ] || { echo "no desktop holder" >&2; exit 1; }
    for files in 1000 10000; do
      for name in nsis-delete nsis-rmdir; do
        [ -f "$DATA/game-$files/$name.exe" ] ||
          wine "$DATA/game-$files/$name-setup.exe" /S >/dev/null 2>&1 </dev/null
      done
    done
    /usr/bin/python3 "$ROOT/tools/benchmarks/uninstall-benchmark.py" "$DATA" "$BUILD" "$RUNS"'
