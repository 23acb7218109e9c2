#!/usr/bin/env bash
# The main job: installs what is missing, builds, then, inside a Wine session
# of the build tree, installs the sample game Vekt, uninstalls it quietly and
# shows what the install added and what is left.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTREL_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
"$root/scripts/build.sh"
exec "$root/scripts/wine-session.sh" "$root/samples/Vekt/demo.sh" "$build"
