#!/usr/bin/env bash
# Keeps a Wine prefix from reaching the host's home. Wine links the user's
# Desktop, Documents, Downloads, Music, Pictures and Videos
# (drive_c/users/<user>/...) to $HOME: a program that writes a desktop
# shortcut or saved games, or an uninstaller that deletes them, would do it in
# the real home. Every link under drive_c/users that leads out of the prefix
# becomes an empty folder of the prefix; only the link is removed, never what
# it leads to. Run on every session, since Wine may make the links again when
# it updates a prefix.
#   scripts/seal-wineprefix.sh <prefix>
set -euo pipefail
prefix=$(realpath "$1")
users=$prefix/drive_c/users
[ -d "$users" ] || exit 0

sealed=0
while IFS= read -r -d '' link; do
  case $(realpath -m "$link") in
    "$prefix"/*) continue ;;
  esac
  rm -f -- "$link"
  mkdir -- "$link"
  sealed=$((sealed + 1))
done < <(find "$users" -type l -print0)
if [ "$sealed" -gt 0 ]; then
  echo "[wine] $sealed user folders of the prefix were links out of it; now folders of its own"
fi
