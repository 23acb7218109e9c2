# Sourced by the script checks: the trees (scripts/common.sh), a scratch
# folder of the check's own under the build tree, and failure reports.
. "$(dirname "$0")/../../scripts/common.sh"
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }

# A fresh, empty folder for this check: build/tests/scripts/scratch/<name>.
scratch_folder() {
  local folder=$build/tests/scripts/scratch/$1
  rm -rf "$folder"
  mkdir -p "$folder"
  echo "$folder"
}

# expect_text <text> <output>: the output holds the text.
expect_text() {
  grep -qF -- "$1" <<<"$2" || fail "expected \"$1\" in: $2"
}
