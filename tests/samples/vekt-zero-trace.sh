#!/usr/bin/env bash
# Zero trace: Vekt installed, uninstalled quietly and a restart simulated
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
wine "$build/tools/OstrelDebugView/OstrelDebugView.exe" "$uninstaller" quiet </dev/null >"$work/lines" 2>&1 || {
  tr -d '\r' <"$work/lines"; echo "the quiet uninstall failed"; exit 1; }
tr -d '\r' <"$work/lines" | grep -q '^SUCCESS$' || { cat "$work/lines"; echo "no SUCCESS"; exit 1; }
if tr -d '\r' <"$work/lines" | grep '^PROBLEM'; then echo "the uninstall recorded problems"; exit 1; fi
wine uninstaller --list </dev/null >"$work/programs" 2>&1
if tr -d '\r' <"$work/programs" | grep -F "$entry"; then echo "Vekt is still listed"; exit 1; fi
wineboot -r >/dev/null 2>&1 </dev/null
snapshot take "$work/after.json"
snapshot compare "$work/before.json" "$work/after.json" \
  --expect '^C:\\users\\[^\\]+\\Documents\\My Games(\\|$)'
