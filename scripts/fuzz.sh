#!/usr/bin/env bash
# Bounded fuzzing of the parsers that take outside input: the release
# manifest (its rules, and its signed form's base64, DER and acceptance), the
# chunk map and the command line. Builds libFuzzer targets natively with
# clang-14 (ASan, UBSan) into build/fuzz/ and runs each for
# QUARVEL_FUZZ_SECONDS (default 45) on a copy of its committed seed corpus,
# so the committed corpus never grows. Prints one line per target; exits
# non-zero on any crash, sanitizer report or broken property.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${QUARVEL_FUZZ_SECONDS:-45}
out=$root/build/fuzz
src=$root/online-setup/src
fuzz=$root/online-setup/tests/fuzz
mkdir -p "$out"

flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
  -fno-omit-frame-pointer -I"$src")

build() {  # target sources...
  local target=$1; shift
  clang++-14 "${flags[@]}" -o "$out/$target" "$@" -lcrypto >"$out/$target.build.log" 2>&1 || {
    echo "$target: build FAILED"; tail -n 20 "$out/$target.build.log"; return 1; }
}

run() {  # target max_len
  local target=$1 max_len=$2 log=$out/$1.log corpus=$out/corpus/$1 line
  rm -rf "$corpus" "$out/artifacts/$target"
  mkdir -p "$corpus" "$out/artifacts/$target"
  cp "$fuzz/corpus/$target/"* "$corpus/"
  if (cd "$out" && "./$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
        -dict="$fuzz/$target.dict" -artifact_prefix="$out/artifacts/$target/" \
        -print_final_stats=1 -use_value_profile=1 "$corpus") >"$log" 2>&1; then
    line=$(grep -E '^Done [0-9]+ runs' "$log" | tail -n1)
    echo "$target: ok, ${line#Done }, corpus $(ls "$corpus" | wc -l) inputs"
  else
    echo "$target: FAILED (log $log, input in $out/artifacts/$target/)"
    grep -E 'property violated|ERROR: |runtime error' "$log" | head -n 5
    return 1
  fi
}

status=0
build release_manifest "$fuzz/release_manifest_fuzzer.cpp" "$src/release/release_manifest.cpp" \
  "$src/release/signed_manifest.cpp" "$src/release/ecdsa_signature.cpp" "$src/core/base64.cpp" \
  "$src/core/utc_time.cpp" "$src/core/strict_json.cpp" "$src/release/chunk_map.cpp" \
  "$src/core/sha256.cpp" "$src/core/sha256_openssl_posix.cpp" "$src/core/sha256_extensions.cpp" &&
  run release_manifest 65536 || status=1
# The chunk map of a package of up to a few hundred chunks.
build chunk_map "$fuzz/chunk_map_fuzzer.cpp" "$src/release/chunk_map.cpp" \
  "$src/release/chunk_map_builder.cpp" \
  "$src/release/content_chunker.cpp" "$src/core/sha256.cpp" "$src/core/sha256_openssl_posix.cpp" \
  "$src/core/sha256_extensions.cpp" &&
  run chunk_map 16384 || status=1
# 32,767 UTF-16 units: the longest Windows command line.
build command_line "$fuzz/command_line_fuzzer.cpp" "$src/core/arguments.cpp" \
  "$src/core/utf.cpp" "$src/core/sha256.cpp" "$src/core/sha256_openssl_posix.cpp" &&
  run command_line 65534 || status=1
exit $status
