#!/usr/bin/env bash
# The main job's show, run inside a Wine session of the build tree
# (scripts/wine-session.sh): installs Vekt into the prefix with the engine's
# script host, uninstalls it quietly through the debug-output listener (its
# PROGRESS lines appear as they come), simulates a restart, and prints what
# the install added and what is left.
#   samples/Vekt/demo.sh <build folder>
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "$build/vekt-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT
snapshot() { /usr/bin/python3 "$here/snapshot.py" "$@"; }

snapshot take "$work/before.json"
echo "[vekt] installing Vekt with the engine's script host"
wine "$build/tools/ScriptHost/OstrelScriptHost.exe" "$(winepath -w "$build/samples/Vekt/install")" \
  --script Install.lua --table Uninstaller.ucs </dev/null >"$work/install.log" 2>&1 || {
  tr -d '\r' <"$work/install.log" >&2; echo "[vekt] the install failed" >&2; exit 1; }
snapshot take "$work/installed.json"

echo "[vekt] uninstalling Vekt quietly"
wine "$build/tools/OstrelDebugView/OstrelDebugView.exe" \
  'C:\Program Files\Brondel\Vekt\OstrelUninstaller.exe' quiet </dev/null | tr -d '\r' | grep -v '^Uninstall: '
echo "[vekt] simulating a restart (delete-at-restart entries run)"
wineboot -r >/dev/null 2>&1 </dev/null
snapshot take "$work/after.json"

echo "[vekt] what the install added, and what is left after the uninstall:"
snapshot table "$work/before.json" "$work/installed.json" "$work/after.json"
