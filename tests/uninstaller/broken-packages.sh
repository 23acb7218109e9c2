#!/usr/bin/env bash
# Packages that cannot be opened: an archive damaged after packaging, a script
# with a syntax error, a table with a bad line. Each quiet run ends with its
# ERROR line and exit code 2, and the product's marker value is not removed.
#   broken-packages.sh <SubProductUninstaller.exe> <BrokenScriptUninstaller.exe>
#                      <BadTableUninstaller.exe> <OstrelPackager.exe> <OstrelDebugView.exe>
set -euo pipefail
good=$1 broken_script=$2 bad_table=$3 packager=$4 debug_view=$5
work=$(mktemp -d "$(dirname "$good")/broken-packages.XXXXXX")
key='HKCU\Software\OstrelTests\SubProduct'
trap 'rm -rf "$work"; wine reg delete "$key" /f >/dev/null 2>&1 </dev/null || true' EXIT

# The packager's output, its central directory then overwritten.
wine "$packager" build "$(winepath -w "$good")" "$(winepath -w "${good%.exe}.package")" \
  "$(winepath -w "$work/Corrupt.exe")" </dev/null >"$work/packager.log" 2>&1 || {
  tr -d '\r' <"$work/packager.log"; echo "the packager failed"; exit 1; }
/usr/bin/python3 - "$work/Corrupt.exe" <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
start = data.rfind(b"PK\x05\x06")
central = data.rfind(b"PK\x01\x02", 0, start)
assert start > 0 and central > 0, "no archive found"
data[central:central + 46] = b"\xa5" * 46
open(sys.argv[1], "wb").write(data)
PY
cp "$broken_script" "$work/BrokenScript.exe"
cp "$bad_table" "$work/BadTable.exe"
cp "$(dirname "$good")"/{BsSndRpt.exe,BugSplat.dll,BugSplatRC.dll,DBGHELP.dll} "$work/"

failures=0
for case in Corrupt:archive BrokenScript:script BadTable:table; do
  name=${case%%:*}
  wine reg add "$key" /v Installed /d yes /f >/dev/null 2>&1 </dev/null
  code=0
  wine "$debug_view" "$(winepath -w "$work/$name.exe")" bootstrapped-quiet \
    </dev/null >"$work/$name.lines" 2>&1 || code=$?
  last=$(tr -d '\r' <"$work/$name.lines" | grep -E '^(ERROR|SUCCESS)' | tail -n 1 || true)
  if [ "$code" != 2 ] || [[ "$last" != ERROR$'\t'* ]] || [ "$last" = $'ERROR\tAn error occurred during uninstall' ]; then
    echo "$name: expected an exception line and exit code 2, got $code:"; tr -d '\r' <"$work/$name.lines"
    failures=$((failures + 1))
  elif ! wine reg query "$key" /v Installed >/dev/null 2>&1 </dev/null; then
    echo "$name: the product's value was removed"; failures=$((failures + 1))
  else
    echo "$name: $last (exit code $code)"
  fi
done
exit $((failures > 0))
