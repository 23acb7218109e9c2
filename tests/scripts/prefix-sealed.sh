#!/usr/bin/env bash
# No user folder of a Wine prefix leads into the host's home: sealing a prefix
# whose folders link out of it (a reused one) turns the links into folders of
# its own, keeps what they led to, and keeps links inside the prefix; the
# build's own prefix has no link out of it.
. "$(dirname "$0")/lib.sh"
scratch=$(scratch_folder prefix-sealed)

home=$scratch/home
user=$scratch/prefix/drive_c/users/someone
mkdir -p "$home/Documents" "$user/AppData" "$scratch/prefix/drive_c/users/Public/Desktop"
echo "mine" >"$home/keep.txt"
ln -s "$home" "$user/Desktop"
ln -s "$home/Documents" "$user/Documents"
ln -s "$home/Downloads" "$user/Downloads"
ln -s ../Public/Desktop "$user/Shared"

"$root/scripts/seal-wineprefix.sh" "$scratch/prefix" >/dev/null
for folder in Desktop Documents Downloads; do
  [ -d "$user/$folder" ] && [ ! -L "$user/$folder" ] || fail "$folder is still a link"
done
[ -L "$user/Shared" ] || fail "a link inside the prefix was replaced"
[ "$(cat "$home/keep.txt")" = "mine" ] && [ -d "$home/Documents" ] || fail "the home was touched"

echo "saved" >"$user/Desktop/game.lnk"
"$root/scripts/seal-wineprefix.sh" "$scratch/prefix" >/dev/null
[ -f "$user/Desktop/game.lnk" ] || fail "sealing again lost a file of the prefix"

prefix=$(realpath "$build/wineprefix")
while IFS= read -r -d '' link; do
  case $(realpath -m "$link") in
    "$prefix"/*) ;;
    *) fail "$link leads out of the prefix" ;;
  esac
done < <(find "$prefix/drive_c/users" -type l -print0)
rm -rf "$scratch"
