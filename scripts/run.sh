#!/usr/bin/env bash
# The main job: installs what is missing, builds, then, inside a Wine session
# of the build tree, installs the sample game Vekt, uninstalls it quietly
# (its PROGRESS lines as they come) and shows what the install added and what
# is left after a simulated restart.
#   scripts/run.sh
# OSTREL_BUILD_DIR chooses another build tree (default: build/).
set -euo pipefail
. "$(dirname "$0")/common.sh"

case "${1:-}" in
  -h|--help) print_usage; exit 0 ;;
esac

"$root/scripts/setup.sh"
"$root/scripts/build.sh"
exec "$root/scripts/wine-session.sh" "$root/samples/Vekt/demo.sh" "$build"
