#!/usr/bin/env bash
# Throughput of the engine's streams against reference tools, printed as
# ratios: ZipFileStream inflate against a plain zlib inflate of the same
# deflate data (both inside the Windows program, under Wine), MD5Stream
# against Linux md5sum, and XDeltaPatchingStream decoding against the xdelta3
# CLI. Builds nothing: run scripts/build.sh first. The test data (about 100 MB)
# is made once in the build tree.
#   tools/benchmarks/run-stream-benchmarks.sh
set -euo pipefail
# Python from the system (scripts/setup.sh installs it), not whatever comes
# first on PATH.
python3() { /usr/bin/python3 "$@"; }
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${OSTREL_BUILD_DIR:-$root/build}
exe=$build/tools/benchmarks/StreamBenchmarks.exe
data=$build/benchmark-data

if [ ! -f "$exe" ]; then
  echo "no $exe: build the tree first (scripts/build.sh)" >&2
  exit 1
fi

make_data() {
  [ -f "$data/.ready" ] && return 0
  echo "[bench] making test data in $data (once)"
  rm -rf "$data"
  mkdir -p "$data"
  python3 - "$data" <<'PY'
import random, sys, zipfile
out = sys.argv[1]
rnd = random.Random(1)
words = [bytes(rnd.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rnd.randint(2, 10)))
         for _ in range(20000)]
parts = []
for _ in range(32):
    parts.append(b" ".join(rnd.choices(words, k=130000)))
    parts.append(rnd.randbytes(64 * 1024))
payload = b"\n".join(parts)
open(out + "/payload.bin", "wb").write(payload)
with zipfile.ZipFile(out + "/payload.zip", "w", zipfile.ZIP_DEFLATED) as archive:
    archive.writestr("payload.bin", payload)
blocks = [payload[i:i + 1000000] for i in range(0, len(payload), 1000000)]
target = bytearray()
for i, block in enumerate(blocks):
    target += block[:500000] + rnd.randbytes(2000) + block[500000:] if i % 2 else block
open(out + "/target.bin", "wb").write(bytes(target))
PY
  xdelta3 -f -e -s "$data/payload.bin" "$data/target.bin" "$data/target.vcdiff"
  touch "$data/.ready"
}

win_path() {
  local path=$1
  printf 'Z:%s' "${path//\//\\}"
}

# Seconds of the fastest of five runs of a Linux command, output discarded.
best_seconds() {
  python3 - "$@" <<'PY'
import subprocess, sys, time
best = None
for _ in range(5):
    start = time.perf_counter()
    subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, check=True)
    elapsed = time.perf_counter() - start
    best = elapsed if best is None or elapsed < best else best
print(best)
PY
}

value_of() {
  awk -v key="$1" '$1 == key { gsub("\r", "", $2); print $2 }' "$2"
}

ratio() {
  python3 -c "import sys; print('%.2f' % (float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"
}

mbps() {
  python3 -c "import sys; print('%.1f' % (int(sys.argv[1]) / 1e6 / float(sys.argv[2])))" "$1" "$2"
}

make_data
results=$data/results.txt
# The program writes to files: output piped out of a persistent Wine session
# can hang.
"$root/scripts/wine-session.sh" env RUN="$build/wine-run.sh" EXE="$exe" OUT="$results" \
  DATA="$(win_path "$data")" bash -c '
    set -e
    "$RUN" "$EXE" inflate "$DATA\payload.zip" payload.bin >"$OUT.inflate" 2>&1 </dev/null
    "$RUN" "$EXE" md5 "$DATA\payload.bin" >"$OUT.md5" 2>&1 </dev/null
    "$RUN" "$EXE" delta "$DATA\payload.bin" "$DATA\target.vcdiff" >"$OUT.delta" 2>&1 </dev/null'

zip_stream=$(value_of zipfilestream_mbps "$results.inflate")
zlib_plain=$(value_of zlib_mbps "$results.inflate")
zlib_crc=$(value_of zlib_crc_mbps "$results.inflate")
md5_stream=$(value_of md5stream_mbps "$results.md5")
md5_digest=$(value_of md5 "$results.md5")
delta_stream=$(value_of xdeltastream_mbps "$results.delta")

payload_size=$(stat -c %s "$data/payload.bin")
target_size=$(stat -c %s "$data/target.bin")
md5sum_mbps=$(mbps "$payload_size" "$(best_seconds md5sum "$data/payload.bin")")
xdelta_mbps=$(mbps "$target_size" \
  "$(best_seconds xdelta3 -d -c -s "$data/payload.bin" "$data/target.vcdiff")")
expected_digest=$(md5sum "$data/payload.bin" | cut -c1-32)
digest_note="digests agree"
[ "$md5_digest" = "$expected_digest" ] || digest_note="DIGESTS DIFFER: $md5_digest vs $expected_digest"

printf 'Stream throughput, MB/s (best of 5; %d MB payload, %d MB patched target)\n' \
  $((payload_size / 1000000)) $((target_size / 1000000))
printf '  inflate  ZipFileStream %8s   zlib inflate   %8s   ratio %s\n' \
  "$zip_stream" "$zlib_plain" "$(ratio "$zip_stream" "$zlib_plain")"
printf '           (zlib inflate with the CRC-32 check that every zip reader makes: %s, ratio %s)\n' \
  "$zlib_crc" "$(ratio "$zip_stream" "$zlib_crc")"
printf '  md5      MD5Stream     %8s   md5sum (Linux) %8s   ratio %s (%s)\n' \
  "$md5_stream" "$md5sum_mbps" "$(ratio "$md5_stream" "$md5sum_mbps")" "$digest_note"
printf '  delta    XDeltaPatching %7s   xdelta3 CLI    %8s   ratio %s\n' \
  "$delta_stream" "$xdelta_mbps" "$(ratio "$delta_stream" "$xdelta_mbps")"
