#!/usr/bin/env bash
# Fuzzes Fenwright's block parser and payload pipeline natively (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer). Not part of the tests: run it by hand after changing src/installer/.
#
#   bash tools/fuzz-fenwright.sh [block|payload|all] [RUNS]      default: all, 10000000 runs per target
#
# Each target runs as one process (-jobs is not used), one target after the other. Corpora and crash files stay in
# $KX_BUILD_DIR/fuzz (default build/fuzz); the report is libFuzzer's own output, written to <target>.log there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${KX_BUILD_DIR:-$root/build}/fuzz
which=${1:-all}
runs=${2:-10000000}
mkdir -p "$out"

# mbed TLS: the source the build unpacked, else Debian's source package unpacked here.
mbedtls=$(ls -d "${KX_BUILD_DIR:-$root/build}"/mbedtls-source/mbedtls-2.28* 2>/dev/null | head -1 || true)
if [ -z "$mbedtls" ]; then
  mbedtls=$(ls -d "$out"/mbedtls-2.28* 2>/dev/null | head -1 || true)
  if [ -z "$mbedtls" ]; then
    (cd "$out" && apt-get source mbedtls >/dev/null)
    mbedtls=$(ls -d "$out"/mbedtls-2.28* | head -1)
  fi
fi

# A key of its own for the native build (any 1024-bit key: the signature check runs the same either way).
if [ ! -f "$out/public.pem" ]; then
  openssl genrsa -out "$out/private.pem" 1024 2>/dev/null
  openssl rsa -in "$out/private.pem" -pubout -out "$out/public.pem" 2>/dev/null
fi
python3 "$root/tools/fenwright_key.py" stored "$out/public.pem" "$out/stored_key.cpp"

san="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
flags="-g -O1 $san -I$root/src/installer -I$root/include -I$mbedtls/include -DMBEDTLS_CONFIG_FILE=\"mbedtls_config.h\""
# The crypto library is built with the sanitizers but without coverage feedback: its big-number comparisons
# would otherwise dominate every run; coverage is collected on the installer's own code.
objects=()
for m in asn1parse base64 bignum constant_time md oid pem pk pk_wrap pkparse platform platform_util rsa \
         rsa_internal sha1; do
  o="$out/mbedtls-$m.o"
  [ -f "$o" ] || clang $flags -O2 -w -c "$mbedtls/library/$m.c" -o "$o"
  objects+=("$o")
done
common=("$root/src/installer/block.cpp" "$root/src/installer/payload.cpp" "$root/bench/fuzz/unpack_zlib.cpp"
        "$out/stored_key.cpp")

# Seeds: a well-formed block and payloads (made with Python's zlib; the signatures are random bytes).
seed() {
  python3 - "$out" <<'PY'
import os, struct, sys, zlib
out = sys.argv[1]
os.makedirs(out + "/corpus-block", exist_ok=True)
os.makedirs(out + "/corpus-payload", exist_ok=True)
def scramble(text, key):
    b = bytearray()
    for ch in text.encode():
        b.append(ch ^ key)
        key = key << 1
        if key & 0x20: key = (key & 0x1E) | 1
    return bytes(b) + b"\0", key
entries = [("C:\\p\\a.pay", "a.ext"), ("b.pay", "sub\\b.ext")]
records, names = b"", b""
base = 16 + 16 * len(entries)
for src, dst in entries:
    s, k = scramble(src, 0x13)
    d, k = scramble(dst, k)
    records += struct.pack("<IIII", 16, 0, base + len(names), base + len(names) + len(s))
    names += s + d
body = struct.pack("<I", len(entries)) + records + names
block = struct.pack("<III", 0, 0, len(body) + 4) + body
open(out + "/corpus-block/seed", "wb").write(b"\x01" + block)
content = os.urandom(300) + os.urandom(128)
packed = zlib.compress(content)
payload = struct.pack("<ii", 8, len(content)) + packed + os.urandom(128)
open(out + "/corpus-payload/seed-accept", "wb").write(b"\x00" + payload)
open(out + "/corpus-payload/seed-real", "wb").write(b"\x01" + payload)
key = bytes.fromhex("7F17A3F9D57241")
open(out + "/corpus-payload/seed-key", "wb").write(b"\x02" + key)
PY
}
seed

run() {
  local target=$1
  clang++ -std=c++17 $flags -fsanitize=fuzzer "$root/bench/fuzz/fuzz_$target.cpp" "${common[@]}" "${objects[@]}" \
    -lz -o "$out/fuzz_$target"
  echo "fuzz-fenwright: $target, $runs runs"
  (cd "$out" && ./fuzz_$target -runs="$runs" -max_len=4096 -print_final_stats=1 "corpus-$target" \
     2>&1 | tee "$target.log" | grep -E "^#[0-9]+[[:space:]]+DONE|^Done|^stat::|ERROR|SUMMARY" || true)
  if grep -q "ERROR: \|SUMMARY: " "$out/$target.log"; then
    echo "fuzz-fenwright: $target found a fault; see $out/$target.log and the crash-* file in $out" >&2
    return 1
  fi
}

case $which in
  block|payload) run "$which" ;;
  all) run block; run payload ;;
  *) echo "usage: $0 [block|payload|all] [RUNS]" >&2; exit 2 ;;
esac
