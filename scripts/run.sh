#!/usr/bin/env bash
# The main job. For now it installs what is missing and builds
# OstrelUninstaller.exe; the uninstall of the sample game joins it once the
# uninstaller runs its script.
#   scripts/run.sh
# OSTREL_BUILD_DIR chooses another build tree (default: build/).
set -euo pipefail
. "$(dirname "$0")/common.sh"

case "${1:-}" in
  -h|--help) print_usage; exit 0 ;;
esac

"$root/scripts/setup.sh"
"$root/scripts/build.sh"
exe="$build/uninstaller/OstrelUninstaller.exe"
echo "[run] built $exe"
file "$exe" 2>/dev/null || true
