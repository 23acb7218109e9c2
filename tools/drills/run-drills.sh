#!/usr/bin/env bash
# Reliability drills of the uninstaller on the sample game Vekt, installed into
# the build's prefix by the script host and removed quietly through
# OstrelDebugView. Each drill prints its result and its figures (times,
# counts). They compare the whole prefix, so run them while nothing else uses
# it (not beside the test suite).
#   tools/drills/run-drills.sh        (OSTREL_BUILD_DIR chooses the build tree)
# Drills: the game running; files held open and a read-only file; the quiet
# copy of a slow product's uninstaller killed halfway, then a second run that
# leaves zero trace; a planted folder that looks like a killed run's, holding
# a link.
set -euo pipefail
. "$(dirname "$0")/../../scripts/common.sh"
if [ -z "${OSTREL_DRILLS_IN_SESSION:-}" ]; then
  exec env OSTREL_DRILLS_IN_SESSION=1 "$root/scripts/wine-session.sh" "$0" "$@"
fi
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winedbg.exe=d;winemenubuilder.exe=d"

work=$(mktemp -d "$build/drills.XXXXXX")
trap 'rm -rf "$work"' EXIT
snapshot() { "$OSTREL_PYTHON" "$root/samples/Vekt/snapshot.py" "$@"; }
now() { date +%s.%N; }
seconds_since() { echo "$(now) $1" | awk '{ printf "%.2f", $1 - $2 }'; }
lines() { tr -d '\r' <"$1"; }
game_windows='C:\Program Files\Brondel\Vekt'
game=$(winepath -u "$game_windows" 2>/dev/null)
uninstaller="$game_windows\\OstrelUninstaller.exe"
debug_view=$build/tools/OstrelDebugView/OstrelDebugView.exe
failures=0

result() {  # <drill> <ok|FAILED> <figures>
  printf '%-26s %-7s %s\n' "$1" "$2" "$3"
  [ "$2" = ok ] || failures=$((failures + 1))
}
game_files() { if [ -d "$game" ]; then find "$game" -type f | wc -l; else echo 0; fi; }
# The engine's private folders of runs, each marked by a file of that name.
run_markers() {
  find "$WINEPREFIX/drive_c/users"/*/Temp "$WINEPREFIX/drive_c/users"/*/AppData/Local/Temp \
    "$WINEPREFIX/drive_c/windows/temp" -maxdepth 2 -name OstrelInstallEngine.run 2>/dev/null || true
}
run_folders() { run_markers | wc -l; }

install_vekt() {
  local started
  started=$(now)
  wine "$build/tools/ScriptHost/OstrelScriptHost.exe" "$(winepath -w "$build/samples/Vekt/install")" \
    --script Install.lua --table Uninstaller.ucs </dev/null >"$work/install.log" 2>&1 || {
    lines "$work/install.log"; echo "drills: the install of Vekt failed"; exit 1; }
  install_seconds=$(seconds_since "$started")
}

# Runs the installed uninstaller quietly; sets code and uninstall_seconds.
uninstall_quietly() {  # <lines file>
  local started
  started=$(now)
  code=0
  timeout 300 wine "$debug_view" "$uninstaller" quiet </dev/null >"$1" 2>&1 || code=$?
  uninstall_seconds=$(seconds_since "$started")
}

# A restart ends the session's services; the next process that opens a window
# or uses COM would start them again, and they would join its process family,
# which OstrelDebugView waits for.
desktop_running() {
  local pid
  for pid in $(pgrep -f 'explorer.exe /desktop'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}
restart() {
  wineboot -r >/dev/null 2>&1 </dev/null
  for _ in $(seq 50); do
    wine cmd /c exit >/dev/null 2>&1 </dev/null
    wine rundll32.exe ole32.dll,OleUninitialize >/dev/null 2>&1 </dev/null
    if desktop_running; then return; fi
    sleep 0.2
  done
  echo "drills: the prefix's desktop did not start again after the restart" >&2
}

# Deletions that earlier runs left pending would otherwise happen between the
# snapshots.
restart
if [ -d "$game" ]; then echo "drills: Vekt is installed already ($game); remove it first"; exit 1; fi
# Nothing else runs now, so every engine folder is an ended run's (one that
# was killed, or a test's that failed to start); the first uninstall would
# remove it, which would count as a difference between the snapshots.
run_markers | while read -r marker; do rm -rf "$(dirname "$marker")"; done
snapshot take "$work/clean.json"
printf '%-26s %-7s %s\n' drill result figures

# The game running: preparation stops, nothing goes. Quietly, the failure
# line is the whole report (its text is fixed); the dialog shows the script's
# message (id 1000001001) in its error box, whose text Wine's msgbox trace
# channel shows, and then ends.
install_vekt
installed_files=$(game_files)
running_text=$(iconv -f utf-16 -t utf-8 "$root/uninstall_package/Uninstaller.ucs" | tr -d '\r' |
  awk -F '\t' '$1 == "1000001001" { print $2 }')
wine "$game/Vekt.exe" --run-ms 60000 </dev/null >/dev/null 2>&1 &
game_pid=$!
sleep 1
uninstall_quietly "$work/running.lines"
drive() { wine "$build/tools/DialogDriver/OstrelDialogDriver.exe" "$@" </dev/null >/dev/null 2>&1; }
# OstrelDebugView only waits here: for the end of the chain, whose install
# lock the next drill needs.
started=$(now)
WINEDEBUG=+msgbox timeout 300 wine "$debug_view" "$uninstaller" </dev/null >"$work/dialog.trace" 2>&1 &
dialog_view_pid=$!
dialog=no
if drive wait 1005 && drive click 1005 1005 && drive wait 65535; then
  dialog_seconds=$(seconds_since "$started")
  grep -qF "L\"$running_text (" "$work/dialog.trace" && dialog=yes
  drive click 65535 1 && drive gone 1005 || dialog="$dialog, not closed"
fi
wait "$dialog_view_pid" || true
wine taskkill /f /im Vekt.exe </dev/null >/dev/null 2>&1 || true
wait "$game_pid" || true
left=$(game_files)
if [ "$code" = 1 ] && [ "$(lines "$work/running.lines" | tail -n 1)" = $'ERROR\tAn error occurred during uninstall' ] &&
   [ "$dialog" = yes ] && [ "$left" = "$installed_files" ] &&
   wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\{5E1C2D7A-3B94-4F0E-9A61-7C2B8D40E913}' \
     >/dev/null 2>&1 </dev/null; then
  result "game running" ok "quiet: exit code 1 after ${uninstall_seconds} s; dialog: the script's message in the error box ${dialog_seconds} s after start; $left of $installed_files files kept (install ${install_seconds} s)"
else
  result "game running" FAILED "quiet exit code $code, script's message in the dialog: $dialog, $left of $installed_files files kept"
  lines "$work/running.lines"; grep msgbox "$work/dialog.trace" || true
fi

# A file held open without delete sharing stays and is a problem of the run;
# everything else goes, a read-only file too. Wine's msi ends the language
# package "successfully" while a file of it is held (the file stays, nothing
# is scheduled), so for that file the run can only name its folder, which it
# cannot remove.
mapfile -t payload < <(find "$game/data" -type f | sort | head -n 2)
held=${payload[0]} read_only=${payload[1]}
held_by_msi=$game/Language/en/texts.txt
holders=()
for file in "$held" "$held_by_msi"; do
  wine "$build/tools/drills/HoldFile.exe" "$(winepath -w "$file")" 60000 </dev/null >"$work/hold.out" 2>&1 &
  holders+=($!)
  until grep -q held "$work/hold.out" 2>/dev/null; do sleep 0.1; done
  rm "$work/hold.out"
done
wine attrib +r "$(winepath -w "$read_only")" </dev/null >/dev/null 2>&1
uninstall_quietly "$work/held.lines"
wine taskkill /f /im HoldFile.exe </dev/null >/dev/null 2>&1 || true
wait "${holders[@]}" || true
problems=$(lines "$work/held.lines" | grep -c '^PROBLEM' || true)
names_problem() { lines "$work/held.lines" | grep '^PROBLEM' | grep -qF "$(winepath -w "$1" | sed 's/\\/\\\\/g')\""; }
left=$(game_files)
if [ "$code" = 0 ] && names_problem "$held" && names_problem "$(dirname "$held_by_msi")" &&
   [ "$left" = 2 ] && [ -f "$held" ] && [ -f "$held_by_msi" ] && [ ! -e "$read_only" ]; then
  result "files held open, read-only" ok "exit code 0 after ${uninstall_seconds} s, $problems PROBLEM lines (the held file, its folders and the msi file's), 2 of $installed_files files left (the held ones), read-only file removed"
else
  result "files held open, read-only" FAILED "exit code $code, $problems PROBLEM lines, $left files left"
  lines "$work/held.lines" | grep -v '^PROGRESS' || true
fi
rm -rf "$(dirname "$game")"

# The quiet copy ended halfway (TerminateProcess): only the product was
# touched; a second run removes the rest, and after a restart nothing is left.
# Vekt goes too fast to be stopped halfway, so this drill uses a product whose
# uninstall pauses after every file (tools/drills/slow-product).
slow_windows='C:\Program Files\OstrelSlowProduct'
slow=$(winepath -u "$slow_windows" 2>/dev/null)
slow_key='HKCU\Software\OstrelSlowProduct'
slow_files() { find "$slow" -type f 2>/dev/null | wc -l; }
mkdir -p "$slow"
for i in $(seq -w 1 40); do head -c 2048 /dev/urandom >"$slow/$i.dat"; done
for file in SlowUninstaller.exe BsSndRpt.exe BugSplat.dll BugSplatRC.dll DBGHELP.dll; do
  cp "$build/uninstaller/$file" "$slow/"
done
wine reg add "$slow_key" /v Path /d "$slow_windows" /f >/dev/null 2>&1 </dev/null
installed_files=$(slow_files)
snapshot take "$work/installed.json"
started=$(now)
timeout 300 wine "$debug_view" "$slow_windows\\SlowUninstaller.exe" quiet </dev/null >"$work/killed.lines" 2>&1 &
view_pid=$!
until [ "$(slow_files)" -le $((installed_files * 2 / 3)) ] || ! kill -0 "$view_pid" 2>/dev/null; do sleep 0.05; done
wine taskkill /f /im SlowUninstaller.exe </dev/null >/dev/null 2>&1 || true
killed_after=$(seconds_since "$started")
wait "$view_pid" || true
left_after_kill=$(slow_files)
run_folders_after_kill=$(run_folders)
snapshot take "$work/killed.json"
"$OSTREL_PYTHON" - "$root/samples/Vekt" "$work" >"$work/outside.txt" <<'PY' || true
# Items that the killed run added or removed outside the product: neither in
# the clean prefix nor among what the install added; temp folders aside.
import re, sys
sys.path.insert(0, sys.argv[1])
import snapshot
work = sys.argv[2]
clean, installed, killed = (snapshot.items(snapshot.load(f"{work}/{name}.json"))
                            for name in ("clean", "installed", "killed"))
temp = re.compile(r"^C:\\users\\[^\\]+\\(AppData\\Local\\)?Temp\\|^C:\\windows\\temp\\", re.I)
added = {item for item in killed - clean - installed if not temp.search(item[1])}
removed = clean - killed
for kind, path in sorted(added):
    print("added:", kind, path)
for kind, path in sorted(removed):
    print("removed:", kind, path)
print("temp items:", sum(1 for item in killed - installed if temp.search(item[1])))
PY
outside=$(grep -c -v '^temp items' "$work/outside.txt" || true)
temp_items=$(sed -n 's/^temp items: //p' "$work/outside.txt")
started=$(now)
code=0
timeout 300 wine "$debug_view" "$slow_windows\\SlowUninstaller.exe" quiet </dev/null >"$work/second.lines" 2>&1 || code=$?
uninstall_seconds=$(seconds_since "$started")
run_folders_after_second=$(run_folders)
restart
snapshot take "$work/after.json"
# Wine keeps the desktop's settings of a session under "Temporary System
# Parameters" once a dialog has run (the first drill's): no trace of ours.
if snapshot compare "$work/clean.json" "$work/after.json" \
     --expect '^C:\\users\\[^\\]+\\Documents\\My Games(\\|$)' \
     --expect '^HKEY_CURRENT_USER\\Software\\Wine\\Temporary System Parameters(\\|$)' \
     >"$work/compare.txt" 2>&1; then
  trace=0
else
  trace=$(grep -c UNEXPECTED "$work/compare.txt" || true)
fi
if [ "$left_after_kill" -gt 0 ] && [ "$left_after_kill" -lt "$installed_files" ] && [ "$outside" = 0 ] &&
   [ "$run_folders_after_kill" = 1 ] && [ "$run_folders_after_second" = 0 ] &&
   [ "$code" = 0 ] && lines "$work/second.lines" | tail -n 1 | grep -qx SUCCESS && [ "$trace" = 0 ]; then
  result "killed mid-run" ok "killed ${killed_after} s after start with $left_after_kill of $installed_files files left, 0 items touched outside the product ($temp_items in temp, 1 engine folder); second run SUCCESS in ${uninstall_seconds} s and removed that folder, zero trace after restart"
else
  result "killed mid-run" FAILED "killed ${killed_after} s after start with $left_after_kill of $installed_files files left, $outside items touched outside ($temp_items in temp), $run_folders_after_kill engine folders after the kill and $run_folders_after_second after the second run, second run exit code $code, $trace kinds of trace after restart"
  grep -v '^temp items' "$work/outside.txt" || true; cat "$work/compare.txt"
  lines "$work/second.lines" | grep -v '^PROGRESS' || true
fi
rm -rf "$slow"
wine reg delete "$slow_key" /f >/dev/null 2>&1 </dev/null || true

# A folder that any process of the user could plant in the temp folder, made
# to look like a killed run's (a GUID name, the marker) and holding a link to
# a folder elsewhere: the sweep at the end of an ordinary quiet uninstall of
# Vekt removes what lies in it but never what the link leads to.
temp=$(find "$WINEPREFIX/drive_c/users" -maxdepth 2 -type d -name Temp -not -path '*/Public/*' | head -n 1)
planted=$temp/0badc0de0badc0de0badc0de0badc0de
canary=$WINEPREFIX/drive_c/OstrelCanary
mkdir -p "$planted" "$canary"
for i in 1 2 3; do echo "canary $i" >"$canary/$i.txt"; done
: >"$planted/OstrelInstallEngine.run"
echo temp >"$planted/00000000_TEMP"
ln -s "$canary" "$planted/link"
install_vekt
uninstall_quietly "$work/planted.lines"
canary_files=$(find "$canary" -type f | wc -l)
if [ "$code" = 0 ] && [ "$canary_files" = 3 ] && [ ! -e "$planted/00000000_TEMP" ] && [ -L "$planted/link" ]; then
  result "planted run folder" ok "exit code 0 after ${uninstall_seconds} s; the sweep emptied the planted folder but for its link, 3 of 3 files behind the link kept"
else
  result "planted run folder" FAILED "exit code $code, $canary_files of 3 files behind the link kept, planted temp file $([ -e "$planted/00000000_TEMP" ] && echo kept || echo removed)"
  lines "$work/planted.lines" | grep -v '^PROGRESS' || true
fi
rm -rf "$planted" "$canary"

echo "drills: $failures failed"
exit $((failures > 0))
