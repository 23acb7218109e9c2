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
wine "$build/tools/OstrelDebugView/OstrelDebugView.exe" "$uninstaller" quiet </dev/null >"$work/lines" 2>&1 || {
  tr -d '\r' <"$work/lines"; echo "the quiet uninstall failed"; exit 1; }
tr -d '\r' <"$work/lines" | grep -q '^SUCCESS$' || { cat "$work/lines"; echo "no SUCCESS"; exit 1; }
if tr -d '\r' <"$work/lines" | grep '^PROBLEM'; then echo "the uninstall recorded problems"; exit 1; fi
wineboot -r >/dev/null 2>&1 </dev/null
snapshot take "$work/after.json"
snapshot compare "$work/before.json" "$work/after.json" \
  --expect '^C:\\users\\[^\\]+\\Documents\\My Games(\\|$)'
