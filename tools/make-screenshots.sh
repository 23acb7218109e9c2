#!/usr/bin/env bash
# Draws the uninstaller's dialogs in each state into PNG files (docs/ unless a
# folder is given): ready with the question ticked, uninstalling with the bar
# half-way, the problems list, finished, and the error box of a failed
# preparation. The dialogs run in a Wine virtual desktop on a virtual X
# display, so that their frames and captions are drawn as on Windows.
# The test uninstallers of tests/uninstaller/packages make the states: the bar
# stops half-way until this script allows the script to go on.
#   tools/make-screenshots.sh [output folder]
set -euo pipefail
[ -n "${OSTREL_TRACE:-}" ] && set -x
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTREL_BUILD_DIR:-$root/build}
out=$(realpath -m "${1:-$root/docs}")

if [ -z "${OSTREL_SCREENSHOT_SESSION:-}" ]; then
  export OSTREL_SCREENSHOT_SESSION=1
  exec "$root/scripts/wine-session.sh" "$0" "$out"
fi

driver=$build/tools/DialogDriver/OstrelDialogDriver.exe
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$work/app"
# Each run schedules its own file for deletion at the next restart, as the
# bootstrapped copy does: run copies, not the build's files.
cp "$build"/uninstaller/*.exe "$work/app/"
cp "$build"/uninstaller/*.dll "$work/app/" 2>/dev/null || true

windows_path() { local path=${1//\//\\}; echo "Z:$path"; }

drive() { wine "$driver" --desktop "$desktop" "$@" </dev/null >/dev/null 2>&1; }

# Starts a test uninstaller, bootstrapped, in a virtual desktop of its own
# (a desktop's name is not free again at once after its last window closed).
start_uninstaller() {
  desktop=Shots$1
  OSTREL_DIALOG_TEST_GATE=$(windows_path "$work/go") \
    wine explorer "/desktop=$desktop,800x600" "$(windows_path "$work/app/$1.exe")" bootstrapped \
    </dev/null >/dev/null 2>&1 &
  uninstaller_pid=$!
  drive wait 1005
}

# shot <file name> <dialog>: the dialog's frame, cut out of the screen.
shot() {
  drive rect "$2" "$(windows_path "$work/rect")"
  sleep 1  # the window paints after it is shown
  /usr/bin/import -window root -crop "$(cat "$work/rect")" +repage "$out/$1.png"
  echo "$out/$1.png"
}

start_uninstaller OstrelPrepareFailsTestUninstaller
drive click 1005 1005
drive wait 65535
shot dialog-error 65535
drive click 65535 1
wait "$uninstaller_pid"

start_uninstaller OstrelDialogTestUninstaller
drive click 1005 1009
shot dialog-ready 1005
drive click 1005 1005
drive wait 1005 5000
shot dialog-uninstalling 1005
touch "$work/go"
drive wait 1006
shot dialog-problems 1006
drive click 1006 1
drive gone 1006
shot dialog-finished 1005
drive click 1005 1005
wait "$uninstaller_pid"
