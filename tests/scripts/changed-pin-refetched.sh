#!/usr/bin/env bash
# Dependency sources follow their pins: a package unpacked at another version
# than its pin is fetched again (apt, then dpkg-source checks it against its
# .dsc), a current one is left alone, and kept files that no longer match
# their .dsc are refused. Uses the network, like the build's own fetch.
. "$(dirname "$0")/lib.sh"
scratch=$(scratch_folder changed-pin-refetched)
dest=$scratch/src
pin=$(awk '$1 == "lua5.1" { print $2 }' "$root/scripts/debian-sources.txt")
mkdir -p "$dest"
cp -a "$build/_deps/src/lua5.1" "$dest/"
echo "5.1.5-1" >"$dest/lua5.1.stamp"
touch "$dest/lua5.1/from-the-old-pin"

fetch() { "$root/scripts/fetch-sources.sh" "$dest" lua5.1 2>&1; }
output=$(fetch) || fail "fetch failed: $output"
expect_text "apt-get source lua5.1=$pin" "$output"
[ "$(cat "$dest/lua5.1.stamp")" = "$pin" ] || fail "the stamp does not record the pin"
[ ! -e "$dest/lua5.1/from-the-old-pin" ] || fail "the old sources were kept"
output=$(fetch) || fail "fetch failed: $output"
[ "$output" = "[fetch] sources ready in $dest" ] || fail "current sources were fetched again: $output"

rm -rf "$dest/lua5.1"
orig=$(ls "$dest/_archives/lua5.1/"*.orig.tar.*)
printf 'X' | dd of="$orig" bs=1 seek=1000 conv=notrunc status=none
output=$(fetch) && fail "a file that does not match its .dsc was unpacked"
expect_text "does not match its .dsc" "$output"
[ ! -e "$dest/lua5.1" ] || fail "a rejected package was unpacked"
rm -rf "$scratch"
