#!/usr/bin/env bash
# Nothing outside a build tree of ours is deleted: the Wine session refuses a
# prefix folder it did not make, and the variable that used to point it at any
# folder; clean.sh refuses a folder that is not a build tree and removes one
# that is.
. "$(dirname "$0")/lib.sh"
scratch=$(scratch_folder foreign-folders-kept)
mkdir -p "$scratch/tree/wineprefix" "$scratch/other" "$scratch/ours/wineprefix"
echo "mine" >"$scratch/tree/wineprefix/keep.txt"
echo "mine" >"$scratch/other/keep.txt"
touch "$scratch/ours/$build_marker"

session() { OSTREL_BUILD_DIR=$scratch/tree "$root/scripts/wine-session.sh" true 2>&1; }
output=$(session) && fail "a foreign prefix folder was used"
expect_text "is not a Wine prefix made by this build" "$output"
output=$(OSTREL_WINEPREFIX=$scratch/tree/wineprefix session) && fail "OSTREL_WINEPREFIX was used"
expect_text "OSTREL_WINEPREFIX is not used" "$output"
[ "$(cat "$scratch/tree/wineprefix/keep.txt")" = "mine" ] || fail "the foreign prefix was touched"

output=$(OSTREL_BUILD_DIR=$scratch/other "$root/scripts/clean.sh" 2>&1) && fail "clean removed a foreign folder"
expect_text "is not a build tree of this project" "$output"
[ "$(cat "$scratch/other/keep.txt")" = "mine" ] || fail "clean touched a foreign folder"
OSTREL_BUILD_DIR=$scratch/ours "$root/scripts/clean.sh" >/dev/null
[ ! -e "$scratch/ours" ] || fail "clean left a build tree behind"
rm -rf "$scratch"
