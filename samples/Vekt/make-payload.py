#!/usr/bin/python3
"""Vekt's payload and the script tables made from it, at build time.

  make-payload.py data <folder>
      writes the game's data files: a few hundred files of 0.5 to 4 KB in
      nested folders, the same bytes on every run.
  make-payload.py tables <data folder> <install tables> <uninstall tables> [program...]
      lists the payload (the data folder and the programs installed beside
      it) as Lua tables: the install script's folders (shallowest first) and
      files with their package names, and the uninstall script's removal
      tables (files, then folders deepest first), each entry one progress unit.
  make-payload.py size <installed folder> <output>
      writes the install script's line "EstimatedSizeKB = <n>": the size of
      every file below the folder in kilobytes, rounded up, the line that
      "OstrelPackager tables" prints last for the folder.
  make-payload.py join <output> <input>...
      writes the inputs one after the other into the output.
"""
import os
import random
import sys

LAYOUT = {
    "data/levels/world1": ("level{:02d}.dat", 20),
    "data/levels/world2": ("level{:02d}.dat", 20),
    "data/levels/world3": ("level{:02d}.dat", 20),
    "data/levels/world4": ("level{:02d}.dat", 20),
    "data/levels/world5": ("level{:02d}.dat", 20),
    "data/levels/world6": ("level{:02d}.dat", 20),
    "data/sounds/music": ("track{:02d}.ogg", 12),
    "data/sounds/effects": ("effect{:03d}.wav", 60),
    "data/sounds/voice/en": ("line{:03d}.wav", 30),
    "data/textures/interface": ("panel{:02d}.png", 30),
    "data/textures/terrain": ("tile{:02d}.png", 30),
    "data/textures/weights": ("weight{:02d}.png", 30),
    "data/fonts": ("font{:d}.fnt", 4),
    "docs/manual": ("page{:02d}.html", 10),
    "docs/manual/images": ("figure{:02d}.png", 8),
}


def write_data(folder):
    rng = random.Random(0x56656B74)
    for subfolder, (pattern, count) in sorted(LAYOUT.items()):
        target = os.path.join(folder, *subfolder.split("/"))
        os.makedirs(target, exist_ok=True)
        for number in range(1, count + 1):
            data = bytes(rng.getrandbits(8) for _ in range(rng.randint(512, 4096)))
            with open(os.path.join(target, pattern.format(number)), "wb") as out:
                out.write(data)


def walk(folder):
    """Relative folders and files of a payload, with backslashes, sorted."""
    folders, files = [], []
    for parent, dirnames, filenames in os.walk(folder):
        dirnames.sort()
        relative = os.path.relpath(parent, folder)
        prefix = "" if relative == "." else relative.replace(os.sep, "\\") + "\\"
        folders += [prefix + name for name in dirnames]
        files += [prefix + name for name in sorted(filenames)]
    return sorted(folders, key=lambda p: (p.count("\\"), p.lower())), sorted(files, key=str.lower)


def lua_wide(path):
    return 'L"\\\\' + path.replace("\\", "\\\\") + '"'


def lua_narrow(path):
    return '"' + path.replace("\\", "\\\\") + '"'


def write_tables(folder, install_path, uninstall_path, programs):
    folders, files = walk(folder)
    files = sorted(files + programs, key=str.lower)
    with open(install_path, "w", newline="\r\n") as out:
        out.write("-- Generated from the payload at build time.\n")
        out.write("PayloadDirectories = {\n")
        out.writelines("    {},\n".format(lua_wide(p)) for p in folders)
        out.write("}\n\nPayloadFiles = {\n")
        out.writelines("    {{ name = {}, path = {} }},\n".format(lua_narrow(p), lua_wide(p)) for p in files)
        out.write("}\n\n")
    deepest_first = sorted(folders, key=lambda p: (-p.count("\\"), p.lower()))
    with open(uninstall_path, "w", newline="\r\n") as out:
        # The same text as "OstrelPackager tables" prints for the installed
        # folder, less its last line (the size, which the install script takes).
        out.write("-- Files and folders the installer wrote, relative to the installation folder.\n")
        out.write("-- Each weighs one progress unit.\n")
        out.write("RemovedFiles = {\n")
        out.writelines("    {{ path = {}, weight = 1 }},\n".format(lua_wide(p)) for p in files)
        out.write("}\n\nRemovedDirectories = {\n")
        out.writelines("    {{ path = {}, weight = 1 }},\n".format(lua_wide(p)) for p in deepest_first)
        out.write("}\n")


def write_size(folder, output_path):
    total = sum(os.path.getsize(os.path.join(parent, name))
                for parent, _, names in os.walk(folder) for name in names)
    with open(output_path, "w", newline="\r\n") as out:
        out.write("EstimatedSizeKB = {} -- the files' total size, for the uninstall entry's "
                  "EstimatedSize\n".format((total + 1023) // 1024))


def main(argv):
    if len(argv) == 3 and argv[1] == "data":
        write_data(argv[2])
    elif len(argv) >= 5 and argv[1] == "tables":
        write_tables(argv[2], argv[3], argv[4], argv[5:])
    elif len(argv) == 4 and argv[1] == "size":
        write_size(argv[2], argv[3])
    elif len(argv) >= 3 and argv[1] == "join":
        with open(argv[2], "wb") as out:
            for name in argv[3:]:
                with open(name, "rb") as part:
                    out.write(part.read())
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
