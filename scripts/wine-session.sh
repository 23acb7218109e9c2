#!/usr/bin/env bash
# Runs a command inside a Wine session of the build tree's prefix: a virtual X
# display (Xvfb), the prefix (created on first use), and a persistent wine
# server that makes every Wine process start in milliseconds instead of
# seconds. The server is shut down cleanly when the command ends, so registry
# changes are written back and nothing is left running.
#   scripts/wine-session.sh <command> [args...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTREL_BUILD_DIR:-$root/build}

if [ -z "${OSTREL_IN_XVFB:-}" ]; then
  exec xvfb-run -a -s "-screen 0 800x600x24 -nolisten tcp" \
    env OSTREL_IN_XVFB=1 "$0" "$@"
fi

export WINEPREFIX=${OSTREL_WINEPREFIX:-$build/wineprefix}
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree=;winemenubuilder.exe=d'

ensure_prefix() {
  [ -f "$WINEPREFIX/.ostrel-ready" ] && return 0
  echo "[wine] creating the prefix $WINEPREFIX (once)"
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null
  wineserver -w
  touch "$WINEPREFIX/.ostrel-ready"
}

stop_server() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}

ensure_prefix
wineserver -p
trap stop_server EXIT
# Warm-up: the first processes start the prefix's services, the desktop
# (explorer.exe, on the first window) and rpcss.exe (on the first COM use).
# Their output goes nowhere: Wine's background processes inherit the standard
# handles of the process that started them, and a test whose output pipe a
# service holds would seem to run until the session ends.
wine cmd /c exit >/dev/null 2>&1 </dev/null
wine rundll32.exe ole32.dll,OleUninitialize >/dev/null 2>&1 </dev/null

set +e
"$@"
status=$?
set -e
stop_server
trap - EXIT
exit $status
