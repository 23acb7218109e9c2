#!/usr/bin/env bash
# The parser drill: OstrelFuzz over the format filler, the string-table
# loader, the text reader, the zip reader and the delta stream, seeded from
# the test fixtures, with a time bound per parser. Prints the cases run per
# parser and how they ended; a finding (crash, hang, foreign exception) is
# written to the output folder with what reproduces it, and the script fails.
# Builds nothing: run scripts/build.sh first.
#   tools/drills/run-fuzz.sh [seed] [cases per parser] [seconds per parser]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${OSTREL_BUILD_DIR:-$root/build}
exe=$build/tools/fuzz/OstrelFuzz.exe
fixtures=$build/tests/fixtures
seed=${1:-20261207}
cases=${2:-200000}
seconds=${3:-110}

if [ ! -f "$exe" ] || [ ! -f "$fixtures/.stamp" ]; then
  echo "no $exe or fixtures: build the tree first (scripts/build.sh)" >&2
  exit 1
fi
out=$build/fuzz-drill
rm -rf "$out"
mkdir -p "$out"
# The program writes to files: output piped out of a persistent Wine session
# can hang. A crash must end the process, not wait in the debugger.
status=0
"$root/scripts/wine-session.sh" env RUN="$build/wine-run.sh" EXE="$exe" OUT="$out" \
  FIXTURES="$fixtures" SEED="$seed" CASES="$cases" SECONDS_PER="$seconds" bash -c '
    sed "s/^WINEDLLOVERRIDES=.*/WINEDLLOVERRIDES=\"mscoree,winemenubuilder.exe,winedbg.exe=d\"/" \
      "$RUN" >"$OUT/wine-run.sh"
    sh "$OUT/wine-run.sh" "$EXE" --fixtures "$FIXTURES" --findings "$OUT" --seed "$SEED" \
      --cases "$CASES" --seconds "$SECONDS_PER" >"$OUT/report.txt" 2>"$OUT/stderr.txt" </dev/null' \
  || status=$?
tr -d '\r' <"$out/report.txt"
tr -d '\r' <"$out/stderr.txt" >&2
exit "$status"
