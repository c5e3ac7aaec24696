#!/usr/bin/env bash
# The whole test suite on a fresh machine: installs what it needs, builds every
# preset and runs every test (native, native under ASan and UBSan, Windows
# under Wine inside a private network namespace, bounded fuzzing). Ends with
# "N passed, N failed"; exits non-zero on any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh || { echo "0 passed, 1 failed"; exit 1; }

passed=0
failed=0
log_dir=build/test-logs
mkdir -p "$log_dir"

# Adds the counts of a ctest log to the totals; a run without a summary line
# (build or set-up failure) counts as one failure.
count_ctest() {
  local log=$1 line total failures
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n1)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    return
  fi
  failures=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - failures))
  failed=$((failed + failures))
}

step() {  # name command...: a set-up step that must succeed
  local name=$1; shift
  echo "== $name"
  if ! "$@" >"$log_dir/$name.log" 2>&1; then
    tail -n 40 "$log_dir/$name.log"
    failed=$((failed + 1))
    return 1
  fi
}

for preset in native native-asan; do
  if step "configure-$preset" cmake --preset "$preset" && step "build-$preset" cmake --build --preset "$preset"; then
    echo "== test-$preset"
    ctest --preset "$preset" --timeout 300 >"$log_dir/test-$preset.log" 2>&1
    grep -E '(\*\*\*(Failed|Timeout|Exception)|Not Run|tests passed)' "$log_dir/test-$preset.log" | tail -n 20
    count_ctest "$log_dir/test-$preset.log"
  fi
done

if step configure-windows cmake --preset windows && step build-windows cmake --build --preset windows &&
   step pki harness/make-pki build/windows/pki &&
   step wine-prefix harness/wine-prefix build/windows/wine-prefix build/windows/pki/ca.der build/windows/harness/trust-ca.exe; then
  echo "== test-windows"
  harness/netns-run build/windows/wine-prefix ctest --test-dir build/windows --output-on-failure --timeout 600 \
    >"$log_dir/test-windows.log" 2>&1
  grep -E '(\*\*\*(Failed|Timeout|Exception)|Not Run|tests passed)' "$log_dir/test-windows.log" | tail -n 20
  count_ctest "$log_dir/test-windows.log"
fi

# The shipped executable: two clean builds, byte-identical, within its size limit.
if step release-build scripts/check-release-build.sh; then
  passed=$((passed + 1))
  grep -E 'bytes|identical' "$log_dir/release-build.log"
fi

if [ -x scripts/fuzz.sh ]; then
  if step fuzz scripts/fuzz.sh; then passed=$((passed + 1)); fi
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
