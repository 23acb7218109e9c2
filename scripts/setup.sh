#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12 machine.
# Idempotent: packages are installed only when missing, the deb-src entry is
# added only when none exists.
set -euo pipefail

PACKAGES=(
  cmake make dpkg-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libz-mingw-w64-dev googletest
  wine wine64 xvfb xauth
  zip unzip python3 xdelta3 xz-utils file liblnk-utils nsis
)

log() { printf '[setup] %s\n' "$*"; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

have_deb_src() {
  grep -RqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null
}

add_deb_src() {
  log "adding a deb-src entry for Debian 12"
  as_root tee /etc/apt/sources.list.d/ostrel-deb-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
}

missing_packages() {
  local p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

main() {
  local need_update=0
  if ! have_deb_src; then add_deb_src; need_update=1; fi
  mapfile -t missing < <(missing_packages)
  if [ "${#missing[@]}" -gt 0 ]; then need_update=1; fi
  if [ "$need_update" -eq 1 ]; then
    log "apt-get update"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null
  fi
  if [ "${#missing[@]}" -gt 0 ]; then
    log "installing: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" >/dev/null
  fi
  log "packages ready"
}

main "$@"
