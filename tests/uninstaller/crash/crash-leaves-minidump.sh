#!/bin/sh
# A crash under the crash reporter leaves a minidump that file(1) recognises,
# under a fresh name (a GUID in it), and the process ends by itself (no
# debugger waits for a person).
#   crash-leaves-minidump.sh <CrashingProgram.exe> <BugSplat.dll>
set -eu
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The placeholder DBGHELP.dll of the crash reporter lies beside the program,
# and Wine is told to prefer it: the system's must be the one used.
cp "$1" "$2" "$(dirname "$2")/DBGHELP.dll" "$work/"
export WINEDLLOVERRIDES='mscoree=;winemenubuilder.exe=d;winedbg.exe=d;dbghelp=n,b'
status=0
timeout 60 wine "$work/$(basename "$1")" >"$work/out" 2>"$work/err" </dev/null || status=$?
[ "$status" -ne 124 ] || { echo "the crashing program did not end"; exit 1; }
[ "$status" -ne 0 ] || { echo "the program did not crash"; exit 1; }
dump=$(sed -n 's/^Crash: minidump written to \(.*\.dmp\).*$/\1/p' "$work/err" | tr -d '\r')
[ -n "$dump" ] || { echo "no minidump reported:"; cat "$work/err"; exit 1; }
echo "$dump" | grep -Eq -- '-[0-9]+-[0-9a-f]{32}\.dmp$' || { echo "a guessable name: $dump"; exit 1; }
unix_dump=$(winepath -u "$dump" 2>/dev/null </dev/null)
file "$unix_dump"
file "$unix_dump" | grep -qi 'mini dump'
rm -f "$unix_dump"
