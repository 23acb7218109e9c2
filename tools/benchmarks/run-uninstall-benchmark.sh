#!/usr/bin/env bash
# Removal of a generated game (10,000 files of 0.5-4 KB in 300 folders) by our
# quiet uninstaller, by the floor (a DeleteFileW/RemoveDirectoryW loop over a
# list) and by two NSIS uninstallers (Delete lines, RMDir /r), alternating,
# each timed from its start until its chain has ended and the game folder is
# gone; medians and ratios, the time to the first PROGRESS line and the quiet
# copy's peak working set for 1,000 and 10,000 files. Builds nothing: run
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
prefix=$build/wineprefix

for exe in "$runner" "$build/uninstaller/BenchmarkUninstaller10000.exe"; do
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
results=$data/results.txt
: >"$results"

# Inside one Wine session: the NSIS uninstallers are written by running their
# installers once; then every run installs the game by copying the tree into
# the prefix's drive C and removes it. The programs write to files: output
# piped out of a persistent Wine session can hang.
"$root/scripts/wine-session.sh" env DATA="$data" PREFIX="$prefix" RUNS="$runs" \
  RUN="$build/wine-run.sh" RUNNER="$runner" RESULTS="$results" \
  UNINSTALLER_DIR="$(win_path "$build/uninstaller")" WIN_DATA="$(win_path "$data")" bash -c '
    set -e
    export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe=d"
    # Wine restarts its desktop process when a program needs it after the
    # last user has gone (here: after every copy of the game), and the new one
    # inherits the handles of that program, the pipe of a measured chain
    # included, which then never ends. A holder with its output nowhere keeps
    # one desktop for the whole session.
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
    install_game() {
      rm -rf "$PREFIX/drive_c/OstrelBench/Game$1"
      mkdir -p "$PREFIX/drive_c/OstrelBench"
      cp -r "$DATA/game-$1/tree" "$PREFIX/drive_c/OstrelBench/Game$1"
      sync
    }
    measure() {
      local files=$1 method=$2 end=$3 command=$4 out
      install_game "$files"
      wine "$RUNNER" time "$end" "C:\\OstrelBench\\Game$files" "$command" \
        >"$RESULTS.run" 2>&1 </dev/null || true
      out=$(tr -d "\r" <"$RESULTS.run" | tr "\n" " ")
      if [ -d "$PREFIX/drive_c/OstrelBench/Game$files" ]; then
        out="$out left_behind 1"
      fi
      echo "$files $method $out" | tee -a "$RESULTS"
    }
    game="$WIN_DATA\\game-10000"
    for run in $(seq "$RUNS"); do
      measure 10000 ours chain "$UNINSTALLER_DIR\\BenchmarkUninstaller10000.exe quiet"
      measure 10000 floor chain "$RUNNER delete $game\\delete-list.txt"
      measure 10000 nsis-delete folder "$game\\nsis-delete.exe /S"
      measure 10000 nsis-rmdir folder "$game\\nsis-rmdir.exe /S"
      measure 1000 ours chain "$UNINSTALLER_DIR\\BenchmarkUninstaller1000.exe quiet"
    done'

python3 - "$results" "$runs" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    fields = line.split()
    values = dict(zip(fields[2::2], fields[3::2]))
    if "left_behind" in values or "error" in values:
        print("warning: %s" % line.strip())
    rows.setdefault((int(fields[0]), fields[1]), []).append(values)

def median(files, method, key):
    return statistics.median(float(v[key]) for v in rows[(files, method)])

print("Uninstall of a generated game, medians of %s runs (seconds, start to game folder gone)" % sys.argv[2])
ours = median(10000, "ours", "seconds")
for method, label in (("ours", "ours (quiet, to the pipe's end)"),
                      ("floor", "floor (DeleteFileW/RemoveDirectoryW list)"),
                      ("nsis-delete", "NSIS Delete lines + RMDir"),
                      ("nsis-rmdir", "NSIS RMDir /r")):
    seconds = median(10000, method, "seconds")
    ratio = "" if method == "ours" else "   ours/this %.2f" % (ours / seconds)
    runs = " ".join("%.2f" % float(v["seconds"]) for v in rows[(10000, method)])
    print("  10,000 files  %-42s %6.2f  (%s)%s" % (label, seconds, runs, ratio))
print("  ours, medians: start to first PROGRESS line, to the game folder gone, to the final line,")
print("  to the chain's end; peak working set of the quiet copy")
for files in (1000, 10000):
    print("  %6s files  %.3f s  %.3f s  %.3f s  %.3f s  %6d KB"
          % ("{:,}".format(files), median(files, "ours", "first_progress"),
             median(files, "ours", "folder_gone"), median(files, "ours", "final_line"),
             median(files, "ours", "seconds"), median(files, "ours", "peak_working_set_kb")))
PY
