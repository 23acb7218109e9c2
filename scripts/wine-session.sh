#!/usr/bin/env bash
# Runs a command inside a Wine session of the build tree's prefix
# (build/wineprefix): a virtual X display (Xvfb), the prefix (created on first
# use), and a persistent wine server that makes every Wine process start in
# milliseconds instead of seconds. The server is shut down cleanly when the
# command ends, so registry changes are written back and nothing is left
# running. The prefix's user folders are folders of the prefix, never links
# into the host's home (scripts/seal-wineprefix.sh).
#   scripts/wine-session.sh <command> [args...]
set -euo pipefail
. "$(dirname "$0")/common.sh"

# The prefix always belongs to the build tree, so the tests (build/wine-run.sh)
# and the session agree on it; another prefix means another build tree.
if [ -n "${OSTREL_WINEPREFIX:-}" ]; then
  echo "[wine] OSTREL_WINEPREFIX is not used: the prefix is the build tree's" \
       "($build/wineprefix); choose another build tree with OSTREL_BUILD_DIR" >&2
  exit 2
fi
export WINEPREFIX=$build/wineprefix
ready_marker=$WINEPREFIX/.ostrel-ready
creating_marker=$WINEPREFIX/.ostrel-creating

# A folder that is neither a prefix this script made nor an empty one may hold
# someone's files: it is never used, let alone deleted.
refuse_foreign_prefix() {
  [ -e "$WINEPREFIX" ] || [ -L "$WINEPREFIX" ] || return 0
  [ -f "$ready_marker" ] || [ -f "$creating_marker" ] && return 0
  [ -d "$WINEPREFIX" ] && [ -z "$(ls -A "$WINEPREFIX")" ] && return 0
  echo "[wine] $WINEPREFIX exists and is not a Wine prefix made by this build;" \
       "refusing to use or delete it. Move it away, or use another OSTREL_BUILD_DIR." >&2
  exit 1
}

refuse_foreign_prefix
if [ -z "${OSTREL_IN_XVFB:-}" ]; then
  exec xvfb-run -a -s "-screen 0 800x600x24 -nolisten tcp" \
    env OSTREL_IN_XVFB=1 "$0" "$@"
fi

export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree=;winemenubuilder.exe=d'

ensure_prefix() {
  [ -f "$ready_marker" ] && return 0
  # Left by a creation that was interrupted: ours, and unfinished.
  [ -f "$creating_marker" ] && rm -rf "$WINEPREFIX"
  echo "[wine] creating the prefix $WINEPREFIX (once)"
  mkdir -p "$WINEPREFIX"
  touch "$creating_marker"
  local log=$build/wineboot.log
  if ! wineboot -i >"$log" 2>&1 </dev/null; then
    cat "$log" >&2
    echo "[wine] wineboot -i failed (log: $log); the next run starts the prefix again" >&2
    exit 1
  fi
  wineserver -w
  mv "$creating_marker" "$ready_marker"
}

stop_server() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}

ensure_prefix
"$root/scripts/seal-wineprefix.sh" "$WINEPREFIX"
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
