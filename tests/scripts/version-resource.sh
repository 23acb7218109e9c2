#!/usr/bin/env bash
# The uninstaller carries a version resource with the project's version, read
# back by an independent PE reader (pefile).
#   version-resource.sh <project version>
. "$(dirname "$0")/lib.sh"
version=$1
"$OSTREL_PYTHON" - "$build/uninstaller/OstrelUninstaller.exe" "$version" <<'PY'
import sys
import pefile

exe, version = sys.argv[1], sys.argv[2]
pe = pefile.PE(exe)
strings = {}
for info in pe.FileInfo[0]:
    for table in getattr(info, "StringTable", []):
        strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
expected = {
    "CompanyName": "Ostrel",
    "ProductName": "Ostrel Uninstaller",
    "FileDescription": "Ostrel Uninstaller",
    "OriginalFilename": "OstrelUninstaller.exe",
    "FileVersion": version,
    "ProductVersion": version,
}
wrong = {k: strings.get(k) for k, v in expected.items() if strings.get(k) != v}
fixed = pe.VS_FIXEDFILEINFO[0]
numbers = [fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
           fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF]
if numbers[:3] != [int(n) for n in version.split(".")]:
    wrong["FILEVERSION"] = numbers
if wrong:
    sys.exit("FAIL: version resource differs: %r" % wrong)
PY
