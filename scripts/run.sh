#!/usr/bin/env bash
# The main job. For now it installs what is missing and builds
# OstrelUninstaller.exe; the uninstall of the sample game joins it once the
# uninstaller runs its script.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTREL_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
"$root/scripts/build.sh"
exe="$build/uninstaller/OstrelUninstaller.exe"
echo "[run] built $exe"
file "$exe" 2>/dev/null || true
