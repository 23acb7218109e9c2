# Sourced by the scripts: where the sources and the build tree are, and the
# tools taken from the system whatever comes first on PATH.
#   root   the source tree
#   build  the build tree, always absolute (OSTREL_BUILD_DIR or build/)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${OSTREL_BUILD_DIR:-$root/build}")
# A relative OSTREL_BUILD_DIR would mean another folder to every script that
# runs from elsewhere (CMake runs some in the build tree).
export OSTREL_BUILD_DIR=$build
export OSTREL_PYTHON=/usr/bin/python3

# The marker that tells a build tree of ours from any other folder.
build_marker=.ostrel-build-tree

# Prints the calling script's header comment, its usage.
print_usage() {
  awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"
}
