#!/usr/bin/env bash
# The removal tables that the build generates for Vekt's uninstall script are
# exactly what the studio's tool prints for the installed payload.
#   vekt-tables-match-packager.sh <build folder>
set -euo pipefail
build=$1
printed=$(mktemp)
trap 'rm -f "$printed"' EXIT
wine "$build/tools/OstrelPackager/OstrelPackager.exe" tables \
  "$(winepath -w "$build/samples/Vekt/install/payload")" </dev/null >"$printed"
cmp "$printed" "$build/samples/Vekt/UninstallTables.lua"
echo "$(grep -c 'weight = 1' "$printed") entries match"
