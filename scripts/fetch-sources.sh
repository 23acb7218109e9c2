#!/usr/bin/env bash
# Fetches the Debian source packages pinned in scripts/debian-sources.txt into
# a folder of the build tree (default: build/_deps/src):
#   <pkg>/           the unpacked sources, Debian patches applied
#   <pkg>.stamp      the exact Debian version unpacked there
#   _archives/<pkg>/ the .dsc and the files it lists, as apt downloaded them
# apt checks the .dsc against the signed archive index, and dpkg-source checks
# every file against the .dsc before unpacking. A package whose stamp differs
# from its pin is fetched again; a missing folder is unpacked again from the
# kept archives.
#   scripts/fetch-sources.sh [DEST [PACKAGE...]]
set -euo pipefail
. "$(dirname "$0")/common.sh"

dest=$(realpath -m "${1:-$build/_deps/src}")
shift || true
mkdir -p "$dest/_archives"

log() { printf '[fetch] %s\n' "$*"; }

# Folders of fetches in progress; an interrupted run leaves none behind.
work_dirs=()
cleanup() { [ "${#work_dirs[@]}" -eq 0 ] || rm -rf "${work_dirs[@]}"; }
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
rm -rf "$dest"/.fetch-*

pinned_version() {
  awk -v pkg="$1" '$1 == pkg { print $2 }' "$root/scripts/debian-sources.txt"
}

pinned_packages() {
  awk '!/^#/ && NF >= 2 { print $1 }' "$root/scripts/debian-sources.txt"
}

# Debian file names carry the version without its epoch.
dsc_name() { printf '%s_%s.dsc' "$1" "${2#*:}"; }

download() {
  local pkg=$1 version=$2 archive=$3 work
  work=$(mktemp -d "$dest/.fetch-$pkg.XXXXXX")
  work_dirs+=("$work")
  log "apt-get source $pkg=$version"
  (cd "$work" && apt-get source --download-only -qq -o APT::Sandbox::User=root \
      "$pkg=$version") >"$work/log" 2>&1 || {
    cat "$work/log" >&2
    echo "fetch: apt has no source $pkg=$version; run scripts/setup.sh (deb-src entry, index)" >&2
    return 1
  }
  rm -f "$work/log"
  rm -rf "$archive"
  mv "$work" "$archive"
}

unpack() {
  local pkg=$1 version=$2 archive=$3 work unpacked
  work=$(mktemp -d "$dest/.fetch-$pkg.XXXXXX")
  work_dirs+=("$work")
  unpacked=$work/$pkg
  dpkg-source --no-copy -x "$archive/$(dsc_name "$pkg" "$version")" "$unpacked" \
    >"$work/log" 2>&1 || {
    cat "$work/log" >&2
    echo "fetch: $pkg $version does not match its .dsc; remove $archive to download it again" >&2
    return 1
  }
  local got
  got=$(dpkg-parsechangelog -l "$unpacked/debian/changelog" -S Version)
  if [ "$got" != "$version" ]; then
    echo "fetch: $pkg unpacked as $got, expected $version" >&2
    return 1
  fi
  rm -rf "${dest:?}/$pkg"
  mv "$unpacked" "$dest/$pkg"
  printf '%s\n' "$version" >"$dest/$pkg.stamp"
}

fetch_one() {
  local pkg=$1 version archive
  version=$(pinned_version "$pkg")
  [ -n "$version" ] || { echo "fetch: $pkg is not pinned in scripts/debian-sources.txt" >&2; return 1; }
  if [ -d "$dest/$pkg" ] && [ "$(cat "$dest/$pkg.stamp" 2>/dev/null)" = "$version" ]; then
    return 0
  fi
  rm -f "$dest/$pkg.stamp"
  archive=$dest/_archives/$pkg
  [ -f "$archive/$(dsc_name "$pkg" "$version")" ] || download "$pkg" "$version" "$archive"
  log "unpacking $pkg $version"
  unpack "$pkg" "$version" "$archive"
}

if [ "$#" -eq 0 ]; then
  mapfile -t packages < <(pinned_packages)
else
  packages=("$@")
fi
for pkg in "${packages[@]}"; do
  fetch_one "$pkg"
done
log "sources ready in $dest"
