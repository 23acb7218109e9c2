#!/usr/bin/env bash
# Linking the uninstaller's objects twice gives the same bytes as the build's
# own link, and our executables carry no link time, no symbols and no path of
# the build machine.
. "$(dirname "$0")/lib.sh"
scratch=$(scratch_folder reproducible-link)

link_again() {
  local out=$1 command
  command=$(grep -F -- '-o OstrelUninstaller.exe' \
              "$build/uninstaller/CMakeFiles/OstrelUninstaller.dir/link.txt")
  command=${command//-o OstrelUninstaller.exe/-o $out.exe}
  command=${command//--out-implib,libOstrelUninstaller.dll.a/--out-implib,$out.dll.a}
  (cd "$build/uninstaller" && eval "$command")
}
link_again "$scratch/first"
link_again "$scratch/second"
cmp "$scratch/first.exe" "$scratch/second.exe" || fail "two links of the same objects differ"
cmp "$scratch/first.exe" "$build/uninstaller/OstrelUninstaller.exe" ||
  fail "a link of the build's objects differs from the build's executable"

for exe in "$build/uninstaller/OstrelUninstaller.exe" "$build/tools/ScriptHost/OstrelScriptHost.exe"; do
  headers=$(x86_64-w64-mingw32-objdump -p "$exe")
  expect_text "symbols stripped" "$headers"
  grep -qE '^Time/Date[[:space:]]+Thu Jan  1 00:00:00 1970$' <<<"$headers" ||
    fail "$exe carries a link time: $(grep '^Time/Date' <<<"$headers")"
  for path in "$root" "$build"; do
    ! grep -qaF "$path" "$exe" || fail "$exe holds the build machine's path $path"
  done
done
rm -rf "$scratch"
