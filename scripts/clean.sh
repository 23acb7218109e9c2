#!/usr/bin/env bash
# Removes the build tree (build/ or OSTREL_BUILD_DIR) with its fetched sources
# and Wine prefix, after stopping the prefix's wine server and removing its
# socket folder under /tmp. A folder that is not a build tree of this project
# is left alone.
#   scripts/clean.sh
set -euo pipefail
. "$(dirname "$0")/common.sh"

case "${1:-}" in
  -h|--help) print_usage; exit 0 ;;
esac

is_our_build_tree() {
  [ -f "$build/$build_marker" ] ||
    grep -qxF "CMAKE_HOME_DIRECTORY:INTERNAL=$root" "$build/CMakeCache.txt" 2>/dev/null
}

# The wine server of a prefix keeps its socket in
# /tmp/.wine-<uid>/server-<device>-<inode>, named after the prefix folder.
server_folder() {
  local device inode
  read -r device inode < <(stat -L -c '%d %i' "$1")
  printf '/tmp/.wine-%d/server-%x-%x\n' "$(id -u)" "$device" "$inode"
}

[ -e "$build" ] || { echo "[clean] nothing to remove at $build"; exit 0; }
if ! is_our_build_tree; then
  echo "[clean] $build is not a build tree of this project; left as it is" >&2
  exit 1
fi
prefix=$build/wineprefix
if [ -d "$prefix" ]; then
  socket_folder=$(server_folder "$prefix")
  if [ -d "$socket_folder" ]; then
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1 || true
    rm -rf "$socket_folder"
  fi
fi
rm -rf "$build"
echo "[clean] removed $build"
