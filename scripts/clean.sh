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
# /tmp/<name>/server-<device>-<inode>, where the prefix's file "wineserver"
# holds the name Wine chose (wine-XXXXXX) when it made the prefix.
server_folder() {
  local name
  name=$(cat "$1/wineserver" 2>/dev/null) || return 0
  [[ $name =~ ^wine-[A-Za-z0-9]+$ ]] && [ -d "/tmp/$name" ] && echo "/tmp/$name"
  return 0
}

[ -e "$build" ] || { echo "[clean] nothing to remove at $build"; exit 0; }
if ! is_our_build_tree; then
  echo "[clean] $build is not a build tree of this project; left as it is" >&2
  exit 1
fi
prefix=$build/wineprefix
socket_folder=$(server_folder "$prefix")
if [ -n "$socket_folder" ]; then
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1 || true
  rm -rf "$socket_folder"
fi
rm -rf "$build"
echo "[clean] removed $build"
