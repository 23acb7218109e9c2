#!/usr/bin/env bash
# Fetches the pinned Debian source packages of the dependencies into a folder of
# the build tree (default: build/_deps/src). Each package lands in a folder named
# after it; a stamp file records what was fetched so a later run reuses it.
set -euo pipefail

dest=${1:-"$(dirname "$0")/../build/_deps/src"}
mkdir -p "$dest"
dest=$(cd "$dest" && pwd)

# source package, upstream version that the build expects
PINNED=(
  "lua5.1 5.1.5"
  "zlib 1.2.13"
  "xdelta3 3.0.11"
  "xz-utils 5.4.1"
)

log() { printf '[fetch] %s\n' "$*"; }

fetch_one() {
  local pkg=$1 upstream=$2 stamp="$dest/$1.stamp"
  if [ -f "$stamp" ] && [ -d "$dest/$pkg" ]; then return 0; fi
  local work
  work=$(mktemp -d "$dest/.fetch-$pkg.XXXXXX")
  log "apt-get source $pkg"
  (cd "$work" && apt-get source -qq -o APT::Sandbox::User=root "$pkg" >/dev/null 2>"$work/stderr") || {
    cat "$work/stderr" >&2; rm -rf "$work"; return 1; }
  local dir
  dir=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name "$pkg-*" | head -n 1)
  case "$(basename "$dir")" in
    "$pkg-$upstream"*) ;;
    *) echo "fetch: $pkg gave $(basename "$dir"), expected upstream $upstream" >&2; rm -rf "$work"; return 1 ;;
  esac
  rm -rf "${dest:?}/$pkg"
  mv "$dir" "$dest/$pkg"
  basename "$(ls "$work"/*.dsc)" .dsc > "$stamp"
  rm -rf "$work"
}

for entry in "${PINNED[@]}"; do
  # shellcheck disable=SC2086
  fetch_one $entry
done
log "sources ready in $dest"
