#!/usr/bin/env bash
# Zero trace: Vekt installed, uninstalled quietly as a deployment tool does,
# and a restart simulated
# leave the prefix's files and its HKLM\Software and HKCU\Software as they
# were, except the player's saved games, which a quiet uninstall keeps by
# design, and the containers Windows makes on its first use of a service.
# The bootstrap's copies and the engine's temp folder are gone too.
#   vekt-zero-trace.sh <build folder>
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
snapshot() { /usr/bin/python3 "$here/../../samples/Vekt/snapshot.py" "$@"; }
work=$(mktemp -d "$build/vekt-zero-trace.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Deletions that earlier tests left pending would otherwise happen between
# the two snapshots.
wineboot -r >/dev/null 2>&1 </dev/null
snapshot take "$work/before.json"
uninstaller='C:\Program Files\Brondel\Vekt\OstrelUninstaller.exe'
wine "$build/tools/ScriptHost/OstrelScriptHost.exe" "$(winepath -w "$build/samples/Vekt/install")" \
  --script Install.lua --table Uninstaller.ucs </dev/null >"$work/install.log" 2>&1 || {
  tr -d '\r' <"$work/install.log"; echo "the install failed"; exit 1; }
[ -f "$(winepath -u "$uninstaller")" ] || { echo "the install did not lay down the uninstaller"; exit 1; }

# The entry as Windows and bulk tools read it: Wine's own list of installed
# programs shows it, and the numbers are REG_DWORD (the size is the one the
# build computed for the payload).
entry='{5E1C2D7A-3B94-4F0E-9A61-7C2B8D40E913}'
wine uninstaller --list </dev/null >"$work/programs" 2>&1
tr -d '\r' <"$work/programs" | grep -qxF "$entry|||Vekt" || {
  cat "$work/programs"; echo "Wine's list of installed programs lacks Vekt"; exit 1; }
wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$entry" \
  </dev/null >"$work/entry" 2>&1
size=$(sed -n 's/^EstimatedSizeKB = \([0-9]*\).*/\1/p' "$build/samples/Vekt/install/Install.lua")
for value in "NoModify REG_DWORD 0x1" "NoRepair REG_DWORD 0x1" \
             "EstimatedSize REG_DWORD $(printf '0x%x' "$size")" \
             "QuietUninstallString REG_SZ \"$uninstaller\" quiet"; do
  tr -d '\r' <"$work/entry" | tr -s ' \t' ' ' | grep -qxF " $value" || {
    cat "$work/entry"; echo "the uninstall entry lacks: $value"; exit 1; }
done
# Removed as a deployment tool removes it: the entry's quiet command from a
# batch file, waiting for that one process. It returns once the uninstall is
# over, so the entry is gone by then, with the outcome as its exit code; the
# game folder, which held that process's own files, goes a moment later. The
# copy's lines reach Wine's debug trace, where no PROBLEM may show.
printf '%s\r\n' "$(tr -d '\r' <"$work/entry" | sed -n 's/^ *QuietUninstallString *REG_SZ *//p')" >"$work/uninstall.bat"
code=0
WINEDEBUG=+debugstr wine cmd /c "$(winepath -w "$work/uninstall.bat")" </dev/null >/dev/null 2>"$work/debug" || code=$?
[ "$code" = 0 ] || { grep -a debugstr "$work/debug"; echo "the quiet uninstall ended with $code"; exit 1; }
if wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$entry" </dev/null >/dev/null 2>&1; then
  echo "the started process returned before the uninstall entry was gone"; exit 1
fi
game=$(winepath -u 'C:\Program Files\Brondel\Vekt')
for _ in $(seq 100); do [ -e "$game" ] || break; sleep 0.1; done
[ ! -e "$game" ] || { find "$game"; echo "the game folder stayed"; exit 1; }
grep -a debugstr "$work/debug" | grep -aq 'SUCCESS' || { echo "no SUCCESS line in Wine's debug trace"; exit 1; }
if grep -a debugstr "$work/debug" | grep -a 'PROBLEM'; then echo "the uninstall recorded problems"; exit 1; fi
wine uninstaller --list </dev/null >"$work/programs" 2>&1
if tr -d '\r' <"$work/programs" | grep -F "$entry"; then echo "Vekt is still listed"; exit 1; fi
wineboot -r >/dev/null 2>&1 </dev/null
snapshot take "$work/after.json"
snapshot compare "$work/before.json" "$work/after.json" \
  --expect '^C:\\users\\[^\\]+\\Documents\\My Games(\\|$)'
