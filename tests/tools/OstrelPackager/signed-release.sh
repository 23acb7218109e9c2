#!/usr/bin/env bash
# A signed release through the packager, with osslsigncode and a throwaway
# certificate that openssl makes for this run: the released uninstaller,
# signed, packaged with a small product's package, comes out without the
# stale signature (no certificate table, none of its bytes, a true
# checksum); it then signs again, verifies, and runs: its quiet copy
# uninstalls the product.
#   signed-release.sh <OstrelUninstaller.exe> <package folder> <OstrelPackager.exe> <OstrelDebugView.exe>
set -euo pipefail
uninstaller=$1 package=$2 packager=$3 debug_view=$4
work=$(mktemp -d "$(dirname "$uninstaller")/signed-release.XXXXXX")
key='HKCU\Software\OstrelTests\SubProduct'
trap 'rm -rf "$work"; wine reg delete "$key" /f >/dev/null 2>&1 </dev/null || true' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Ostrel test signing" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/openssl.log" 2>&1 || {
  cat "$work/openssl.log"; echo "openssl could not make the certificate"; exit 1; }
sign() {
  osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -h sha256 -n "Ostrel test" \
    -in "$1" -out "$2" >"$work/sign.log" 2>&1 || { cat "$work/sign.log"; echo "signing $1 failed"; exit 1; }
}
# What the signature left in an image: its certificate table, bytes behind
# the last section, and whether the header's checksum is the file's.
signature_traces() {
  /usr/bin/python3 - "$1" <<'PY'
import sys
import pefile
pe = pefile.PE(sys.argv[1])
table = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
sections_end = max(s.PointerToRawData + s.SizeOfRawData for s in pe.sections)
checksum = pe.OPTIONAL_HEADER.CheckSum
print("table=%d trailing=%d checksum=%s" % (table.VirtualAddress != 0 or table.Size != 0,
      len(pe.__data__) - sections_end, "true" if checksum == pe.generate_checksum() else "false"))
PY
}

sign "$uninstaller" "$work/Signed.exe"
[ "$(signature_traces "$work/Signed.exe")" != "table=0 trailing=0 checksum=true" ] ||
  { echo "osslsigncode left no signature in the input"; exit 1; }
wine "$packager" build "$(winepath -w "$work/Signed.exe")" "$(winepath -w "$package")" \
  "$(winepath -w "$work/Product.exe")" </dev/null >"$work/packager.log" 2>&1 || {
  tr -d '\r' <"$work/packager.log"; echo "the packager failed"; exit 1; }
grep -qF "signature is left out; sign this output" "$work/packager.log" ||
  { tr -d '\r' <"$work/packager.log"; echo "the packager did not say it left the signature out"; exit 1; }
traces=$(signature_traces "$work/Product.exe")
[ "$traces" = "table=0 trailing=0 checksum=true" ] || { echo "the output keeps its input's signature: $traces"; exit 1; }

sign "$work/Product.exe" "$work/SignedProduct.exe"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/SignedProduct.exe" >"$work/verify.log" 2>&1 || {
  cat "$work/verify.log"; echo "the signed output does not verify"; exit 1; }
if grep -i 'warning' "$work/sign.log" "$work/verify.log"; then echo "signing warned"; exit 1; fi

cp "$(dirname "$uninstaller")"/{BsSndRpt.exe,BugSplat.dll,BugSplatRC.dll,DBGHELP.dll} "$work/"
wine reg add "$key" /v Installed /d yes /f >/dev/null 2>&1 </dev/null
wine "$debug_view" "$(winepath -w "$work/SignedProduct.exe")" bootstrapped-quiet \
  </dev/null >"$work/lines" 2>&1 || { tr -d '\r' <"$work/lines"; echo "the signed output's uninstall failed"; exit 1; }
tr -d '\r' <"$work/lines" | grep -qx 'SUCCESS' || { tr -d '\r' <"$work/lines"; echo "no SUCCESS"; exit 1; }
if wine reg query "$key" /v Installed >/dev/null 2>&1 </dev/null; then
  echo "the signed output did not uninstall the product"; exit 1
fi
echo "signed, packaged, signed again, verified and run"
