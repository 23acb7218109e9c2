#!/usr/bin/env bash
# What Windows reads from the uninstaller before any of its code runs, read
# back by an independent PE reader (pefile): the manifest (administrator
# rights, common controls 6, DPI awareness, the systems it declares) and the
# DLLs the loader binds at start, which must all be known DLLs (kernel32,
# msvcrt, advapi32): anything else would be searched for beside the program.
. "$(dirname "$0")/lib.sh"
"$OSTREL_PYTHON" - "$build/uninstaller/OstrelUninstaller.exe" <<'PY'
import sys
import xml.etree.ElementTree as ElementTree
import pefile

pe = pefile.PE(sys.argv[1])
manifests = [language.data.struct for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries if kind.id == 24
             for name in kind.directory.entries if name.id == 1
             for language in name.directory.entries]
if len(manifests) != 1:
    sys.exit("FAIL: expected one manifest (type 24, id 1), found %d" % len(manifests))
text = pe.get_data(manifests[0].OffsetToData, manifests[0].Size)
root = ElementTree.fromstring(text)

v1, v3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
compatibility = "{urn:schemas-microsoft-com:compatibility.v1}"
settings2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
settings2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
wrong = []
level = root.find(f"{v3}trustInfo/{v3}security/{v3}requestedPrivileges/{v3}requestedExecutionLevel")
if level is None or level.attrib != {"level": "requireAdministrator", "uiAccess": "false"}:
    wrong.append("requestedExecutionLevel: %r" % (level is not None and level.attrib))
controls = [a.attrib for a in root.iter(f"{v1}assemblyIdentity")
            if a.get("name") == "Microsoft.Windows.Common-Controls"]
if [(c.get("version"), c.get("publicKeyToken")) for c in controls] != [("6.0.0.0", "6595b64144ccf1df")]:
    wrong.append("common controls: %r" % controls)
dpi = {element.tag: element.text for element in root.iter()
       if element.tag in (f"{settings2005}dpiAware", f"{settings2016}dpiAwareness")}
if dpi != {f"{settings2005}dpiAware": "true", f"{settings2016}dpiAwareness": "PerMonitorV2"}:
    wrong.append("DPI awareness: %r" % dpi)
systems = {s.get("Id") for s in root.iter(f"{compatibility}supportedOS")}
expected_systems = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # Windows 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # Windows 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # Windows 10 and 11
}
if systems != expected_systems:
    wrong.append("supportedOS: %r" % sorted(systems))
imports = sorted(entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT)
if imports != ["advapi32.dll", "kernel32.dll", "msvcrt.dll"]:
    wrong.append("imports bound at start: %r" % imports)
if wrong:
    sys.exit("FAIL: " + "; ".join(wrong))
PY
