#!/usr/bin/env bash
# Throughput of verify_package on a 1 GiB file against the platform's bare
# SHA-256 in the same run: natively against `openssl dgst -sha256`, under Wine
# against a bare ReadFile + CNG loop with the same 65,536-byte buffer. Prints
# MB/s (1,048,576 bytes) for each and the ratio; the target is 0.9 or more.
# Best of QUARVEL_BENCH_ROUNDS (default 3) alternating rounds. Figures, not a test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds=${QUARVEL_BENCH_ROUNDS:-3}
dir=$root/build/bench
file=$dir/package.bin
size=1073741824
mkdir -p "$dir"

if [ "$(stat -c %s "$file" 2>/dev/null || echo 0)" != "$size" ]; then
  head -c "$size" /dev/urandom >"$file"
fi
cmake --preset native >/dev/null && cmake --build build/native --target verify_bench >/dev/null
cmake --preset windows >/dev/null &&
  cmake --build build/windows --target verify_bench cng_hash_bench >/dev/null
cat "$file" >/dev/null  # into the page cache, so every round reads from memory

now() { date +%s.%N; }
mbps() { awk -v b="$size" -v s="$1" 'BEGIN { printf "%.1f", b / 1048576 / s }'; }
best() { printf '%s\n' "$@" | sort -g | tail -n1; }  # the largest MB/s
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
figure() { sed -E 's/^[^:]*: ([0-9.]+) MB\/s.*/\1/'; }  # MB/s from a bench line

digest=$(openssl dgst -sha256 -r "$file" | cut -d' ' -f1)
openssl_runs=() native_runs=() wine_runs=() cng_runs=()
for _ in $(seq "$rounds"); do
  start=$(now); openssl dgst -sha256 "$file" >/dev/null; end=$(now)
  openssl_runs+=("$(mbps "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')")")
  start=$(now); build/native/online-setup/bench/verify_bench "$file" "$size" "$digest" >/dev/null
  end=$(now)
  native_runs+=("$(mbps "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')")")
done

prefix=build/windows/wine-prefix
windows_path="Z:${file//\//\\}"
for _ in $(seq "$rounds"); do
  line=$(harness/wine-run "$prefix" build/windows/online-setup/bench/cng_hash_bench.exe \
    "$windows_path" | tr -d '\r')
  [ "${line##* }" = "$digest" ] || { echo "CNG digest differs: $line"; exit 1; }
  cng_runs+=("$(figure <<<"$line")")
  line=$(harness/wine-run "$prefix" build/windows/online-setup/bench/verify_bench.exe \
    "$windows_path" "$size" "$digest" | tr -d '\r')
  wine_runs+=("$(figure <<<"$line")")
done
WINEPREFIX=$root/$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true

native=$(best "${native_runs[@]}") openssl=$(best "${openssl_runs[@]}")
wine=$(best "${wine_runs[@]}") cng=$(best "${cng_runs[@]}")
echo "native: verify_package $native MB/s, openssl dgst -sha256 $openssl MB/s, ratio $(ratio "$native" "$openssl") (rounds: ${native_runs[*]} / ${openssl_runs[*]})"
echo "wine:   verify_package $wine MB/s, bare CNG loop $cng MB/s, ratio $(ratio "$wine" "$cng") (rounds: ${wine_runs[*]} / ${cng_runs[*]})"
