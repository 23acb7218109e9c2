#!/usr/bin/env bash
# The engine's layers as the build enforces them, and the README's paths:
# no engine file includes a header of a layer above its own; a layer compiles
# against a view of the tree in which such a header does not exist, so an
# include that reaches up fails the build; and every source path that the
# README names exists.
. "$(dirname "$0")/lib.sh"
engine=$root/OstrelInstallEngine
layers=(base streams platform transactions script operations)
upward=0
for ((own = 0; own < ${#layers[@]}; own++)); do
  for ((above = own + 1; above < ${#layers[@]}; above++)); do
    found=$(grep -l "#include \"${layers[above]}/" "$engine/${layers[own]}"/* || true)
    [ -z "$found" ] || { echo "$found includes ${layers[above]}/"; upward=$((upward + 1)); }
  done
done
[ "$upward" = 0 ] || fail "$upward includes reach up a layer"

# Each layer library compiles with its own view, and a view lacks the layers
# above it: the compiler refuses an include from there, as the build would.
views=$build/OstrelInstallEngine/layer-views
compile() {  # <layer> <header>: compiles an include of the header as that layer does
  echo "#include \"$2\"" | x86_64-w64-mingw32-g++-posix -std=c++17 -fsyntax-only -x c++ \
    -I "$views/$1" -I "$build/_deps/src/lua5.1/src" - 2>/dev/null
}
for layer in "${layers[@]}"; do
  grep -q "layer-views/$layer\"" "$build/OstrelInstallEngine/CMakeFiles/ostrel_engine_$layer.dir/includes_CXX.rsp" ||
    fail "the $layer library does not compile against its own view"
done
compile base base/Check.h || fail "base cannot include its own header"
compile streams base/Stream.h || fail "streams cannot include a header of base"
! compile base streams/ZipFile.h || fail "base may include a header of streams"
! compile script operations/ScriptApi.h || fail "script may include a header of operations"

# Paths the README gives from the top of the tree.
missing=$(grep -o '`\(OstrelInstallEngine\|uninstaller\|uninstall_package\|tests\|tools\|cmake\|scripts\|samples\|docs\)/[^` <]*`' \
            "$root/README.md" | tr -d '`' | sort -u | while read -r path; do
  compgen -G "$root/$path" >/dev/null || compgen -G "$root/$path.*" >/dev/null || echo "$path"
done)
[ -z "$missing" ] || fail "the README names paths that do not exist: $missing"
echo "no include reaches up; the README's paths exist"
