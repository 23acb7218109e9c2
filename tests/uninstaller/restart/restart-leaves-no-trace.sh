#!/bin/sh
# After a quiet uninstall and a restart, nothing of the run is left in the temp
# directory: the bootstrap's copies and folder, the quiet copy and the
# engine's own folder. A restart carries out every deletion pending in its
# prefix, so this runs in a prefix of its own (kept for the next run).
#   restart-leaves-no-trace.sh <ScenarioUninstaller.exe> <OstrelDebugView.exe> <prefix>
set -eu
uninstaller=$1
debug_view=$2
export WINEPREFIX=$3 WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree=;winemenubuilder.exe=d;winedbg.exe=d'
work=$(mktemp -d)
trap 'wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

if [ ! -f "$WINEPREFIX/.ostrel-ready" ]; then
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null
  wineserver -w
  touch "$WINEPREFIX/.ostrel-ready"
fi
temp=$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -type d \( -name Temp -o -name temp \) \
       -not -path '*/Public/*' | sort | head -n 1)
[ -d "$temp" ] || { echo "no temp directory in $WINEPREFIX"; exit 1; }
ls -A "$temp" | sort >"$work/before"

wine "$debug_view" "$(winepath -w "$uninstaller")" quiet >"$work/lines" 2>&1 </dev/null || {
  echo "the quiet uninstall failed:"; cat "$work/lines"; exit 1; }
grep -q '^SUCCESS' "$work/lines" || { echo "no SUCCESS line:"; cat "$work/lines"; exit 1; }
ls -A "$temp" | sort >"$work/after-run"
comm -13 "$work/before" "$work/after-run" >"$work/added"
[ -s "$work/added" ] || { echo "the run left no copy folder to remove"; exit 1; }
echo "left until the restart: $(tr '\n' ' ' <"$work/added")"

wineboot -r >/dev/null 2>&1 </dev/null
wineserver -w
ls -A "$temp" | sort >"$work/after-restart"
if ! cmp -s "$work/before" "$work/after-restart"; then
  echo "left after the restart:"; comm -13 "$work/before" "$work/after-restart"; exit 1
fi
