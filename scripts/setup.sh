#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12 machine.
# Idempotent: packages are installed only when missing; the deb-src entry is
# added, and apt's index updated, until apt knows the pinned source packages
# (so an interrupted run is finished by the next one).
set -euo pipefail
. "$(dirname "$0")/common.sh"

PACKAGES=(
  cmake make dpkg-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libz-mingw-w64-dev googletest
  wine wine64 xvfb xauth
  zip unzip python3 xdelta3 xz-utils file
  wixl liblnk-utils nsis imagemagick python3-pefile osslsigncode openssl
)

log() { printf '[setup] %s\n' "$*"; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

deb_src_file=/etc/apt/sources.list.d/ostrel-deb-src.sources

# Lists the pinned source packages that apt cannot fetch at their versions.
missing_sources() {
  local pins="$root/scripts/debian-sources.txt"
  # shellcheck disable=SC2046
  comm -23 <(awk '!/^#/ && NF >= 2 { print $1 "=" $2 }' "$pins" | sort) \
    <(apt-cache showsrc --only-source $(awk '!/^#/ && NF >= 2 { print $1 }' "$pins") 2>/dev/null |
        awk '/^Package:/ { p = $2 } /^Version:/ { print p "=" $2 }' | sort -u)
}

add_deb_src() {
  log "adding a deb-src entry for Debian 12"
  as_root tee "$deb_src_file" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
}

missing_packages() {
  comm -23 <(printf '%s\n' "${PACKAGES[@]}" | sort) \
    <(dpkg-query -W -f='${Package} ${Status}\n' "${PACKAGES[@]}" 2>/dev/null |
        awk '/ install ok installed$/ { print $1 }' | sort)
}

apt_update() {
  log "apt-get update"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null
}

main() {
  mapfile -t missing < <(missing_packages)
  mapfile -t sources < <(missing_sources)
  if [ "${#sources[@]}" -gt 0 ] && [ ! -f "$deb_src_file" ]; then add_deb_src; fi
  if [ "${#missing[@]}" -gt 0 ] || [ "${#sources[@]}" -gt 0 ]; then apt_update; fi
  if [ "${#missing[@]}" -gt 0 ]; then
    log "installing: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" >/dev/null
  fi
  mapfile -t sources < <(missing_sources)
  if [ "${#sources[@]}" -gt 0 ]; then
    echo "setup: apt has no source package ${sources[*]} (pinned in scripts/debian-sources.txt)" >&2
    exit 1
  fi
  log "packages ready"
}

main "$@"
