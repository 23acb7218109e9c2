#!/usr/bin/python3
"""Snapshots of a Wine prefix, to show what an install added and what an
uninstall left. Run inside a Wine session (WINEPREFIX set, wine on PATH).

  snapshot.py take <snapshot.json>
      records every file and folder under drive_c and every key and value of
      HKLM\\Software and HKCU\\Software.
  snapshot.py table <before> <installed> <after>
      prints, per kind of item, how many the install added and which of them
      are left; exit code 1 when anything is left.
  snapshot.py compare <before> <after> [--expect <regex>]...
      prints what differs; exit code 1 when anything differs beyond the
      containers Windows makes on first use and the paths matching an
      expected pattern.
"""
import json
import os
import re
import subprocess
import sys
import tempfile

REGISTRY_ROOTS = ["HKEY_LOCAL_MACHINE\\Software", "HKEY_CURRENT_USER\\Software"]
GAME_EXPLORER = re.compile(r"\\GameUX\\", re.I)
# Containers that Windows makes the first time any product uses a service
# (Windows Installer, Game Explorer) and keeps: they are the system's, not the
# product's, and stay after every uninstall.
SYSTEM_CONTAINERS = re.compile(
    r"^(HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer(\\(Features|Products|UpgradeCodes))?"
    r"|HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer"
    r"(\\UpgradeCodes|\\UserData(\\S-1-5-18(\\(Components|Products))?)?)?"
    r"|HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\GameUX(\\Games)?"
    r"|C:\\windows\\Installer|C:\\ProgramData\\Microsoft\\Windows\\GameExplorer)$", re.I)
# The player's saved games: a quiet uninstall keeps them by design (only the
# dialog's check box removes them).
PERSONAL = re.compile(r"^C:\\users\\[^\\]+\\Documents\\My Games(\\|$)", re.I)
MSI_PRODUCT = re.compile(r"\\Installer\\(Products|UserData|UpgradeCodes)\\|\\Uninstall\\\{2C7D9E41", re.I)


def files_of(prefix):
    items = {}
    root = os.path.join(prefix, "drive_c")
    for parent, dirnames, filenames in os.walk(root):
        for name in dirnames:
            path = os.path.join(parent, name)
            items["C:\\" + os.path.relpath(path, root).replace("/", "\\")] = "folder"
        for name in filenames:
            path = os.path.join(parent, name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            items["C:\\" + os.path.relpath(path, root).replace("/", "\\")] = os.path.getsize(path)
    return items


def parse_reg(text):
    """Keys and values of a .reg export: {key: {value name: data}}."""
    keys, current, pending = {}, None, ""
    for line in text.splitlines():
        if pending:
            line, pending = pending + line.strip(), ""
        if line.endswith("\\"):
            pending = line[:-1]
            continue
        if line.startswith("[") and line.endswith("]"):
            current = line[1:-1]
            keys[current] = {}
        elif current and "=" in line:
            name, _, data = line.partition("=")
            keys[current][name] = data
    return keys


def registry():
    keys = {}
    with tempfile.TemporaryDirectory() as folder:
        for root in REGISTRY_ROOTS:
            out = os.path.join(folder, "export.reg")
            subprocess.run(["wine", "reg", "export", root, out, "/y"], stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            with open(out, "rb") as export:
                keys.update(parse_reg(export.read().decode("utf-16")))
    return keys


def take(path):
    snapshot = {"files": files_of(os.environ["WINEPREFIX"]), "registry": registry()}
    with open(path, "w") as out:
        json.dump(snapshot, out)


def load(path):
    with open(path) as source:
        return json.load(source)


def items(snapshot):
    """Every item of a snapshot as (kind, path)."""
    result = set()
    for path, size in snapshot["files"].items():
        if size == "folder":
            result.add(("folders", path))
        elif path.lower().endswith((".lnk", ".url")):
            result.add(("shortcuts", path))
        else:
            result.add(("files", path))
    for key, values in snapshot["registry"].items():
        kind = "Game Explorer" if GAME_EXPLORER.search(key) else \
            "MSI product" if MSI_PRODUCT.search(key) else "registry keys"
        result.add((kind, key))
        if kind == "registry keys":
            result.update(("registry values", key + " : " + name) for name in values)
    return result


def table(before, installed, after):
    added = items(installed) - items(before)
    system = {item for item in added if SYSTEM_CONTAINERS.search(item[1])}
    personal = {item for item in added if PERSONAL.search(item[1])}
    added -= system
    left = (added - personal) & items(after)
    kinds = ["files", "folders", "shortcuts", "registry keys", "registry values",
             "Game Explorer", "MSI product"]
    print("{:<18} {:>8} {:>8}".format("", "added", "left"))
    for kind in kinds:
        print("{:<18} {:>8} {:>8}".format(kind, sum(1 for k, _ in added if k == kind),
                                          sum(1 for k, _ in left if k == kind) or ""))
    for kind, path in sorted(left):
        print("left: {}: {}".format(kind, path))
    kept = personal & items(after)
    if kept:
        print("kept by design: the player's saved games ({} items under Documents\\My Games);"
              " a quiet uninstall keeps them, the dialog's check box removes them".format(len(kept)))
    if system:
        print("not counted: {} containers that Windows made on its first use of Windows"
              " Installer and Game Explorer, and keeps".format(len(system)))
    return 1 if left else 0


def compare(before, after, expected):
    patterns = [SYSTEM_CONTAINERS] + [re.compile(p, re.I) for p in expected]
    first, second = items(before), items(after)
    differences = [("gone", item) for item in first - second] + \
                  [("new", item) for item in second - first]
    unexpected = 0
    for change, (kind, path) in sorted(differences, key=lambda d: d[1][1]):
        expected_change = any(p.search(path) for p in patterns)
        unexpected += not expected_change
        print("{} {} {}: {}".format("expected" if expected_change else "UNEXPECTED", change, kind, path))
    print("{} items before, {} after: {} differences, {} unexpected".format(
        len(first), len(second), len(differences), unexpected))
    return 1 if unexpected else 0


def main(argv):
    if len(argv) == 3 and argv[1] == "take":
        take(argv[2])
        return 0
    if len(argv) == 5 and argv[1] == "table":
        return table(load(argv[2]), load(argv[3]), load(argv[4]))
    if len(argv) >= 4 and argv[1] == "compare":
        expected = [argv[i + 1] for i in range(4, len(argv) - 1) if argv[i] == "--expect"]
        return compare(load(argv[2]), load(argv[3]), expected)
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
