#!/usr/bin/env bash
# A script loads its modules from the program's own folder, also when that
# folder's path is longer than MAX_PATH: a path cut to the buffer once named a
# folder above the program's. Wine's CreateProcessW cannot start a program
# there, so the check starts it from here.
. "$(dirname "$0")/lib.sh"
scratch=$(scratch_folder deep-program-folder)
deep=$scratch/$(printf 'd%.0s' {1..100})/$(printf 'e%.0s' {1..100})/$(printf 'f%.0s' {1..100})
mkdir -p "$deep/modules" "$scratch/script"
cp "$build/tools/ScriptHost/OstrelScriptHost.exe" "$deep/"
echo "return 'probe from modules'" >"$deep/modules/probe.lua"
printf '%s\n' "function Prepare() end" "function Execute() debug.Print(L(require('probe'))) end" \
  >"$scratch/script/uninstall.lua"
output=$(wine "$deep/OstrelScriptHost.exe" "$(winepath -w "$scratch/script")" </dev/null 2>&1 | tr -d '\r') ||
  fail "the script host failed: $output"
expect_text "probe from modulesSUCCESS" "$output"
rm -rf "$scratch"
