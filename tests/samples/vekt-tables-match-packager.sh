#!/usr/bin/env bash
# The removal tables that the build generates for Vekt's uninstall script are
# exactly what the studio's tool prints for the installed payload, and the
# size that the tool prints last is the one the install script writes into
# the uninstall entry.
#   vekt-tables-match-packager.sh <build folder>
set -euo pipefail
build=$1
printed=$(mktemp)
trap 'rm -f "$printed"' EXIT
wine "$build/tools/OstrelPackager/OstrelPackager.exe" tables \
  "$(winepath -w "$build/samples/Vekt/install/payload")" </dev/null >"$printed"
head -n -1 "$printed" | cmp - "$build/samples/Vekt/UninstallTables.lua"
size=$(tail -n 1 "$printed")
[[ "$size" == "EstimatedSizeKB = "* ]] || { echo "no size line: $size"; exit 1; }
grep -qxF -- "$size" "$build/samples/Vekt/install/Install.lua" ||
  { echo "the install script's size differs from \"$size\""; exit 1; }
echo "$(grep -c 'weight = 1' "$printed") entries match; ${size%% --*}"
