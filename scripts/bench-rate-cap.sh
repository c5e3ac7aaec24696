#!/usr/bin/env bash
# Rate cap benchmark under Wine: a 48 MiB package served by nginx over TLS on
# the test host names (hosting/nginx's configuration), fetched by the real
# executable (test host names, --download-only) once without a cap and once
# under each cap given, the cap set as the administrators' policy
# MaxDownloadKBps with `reg add` in the test prefix (removed at the end).
# Measured at the host: nginx logs when each package request ended and how
# long it took, so when it started. A request starts once the installer has
# read the whole segment before it, so each segment's rate is its 8 MiB over
# the time to the next request. Prints, per cap, the achieved rate of the
# download (every segment but the last) and of its fastest segment (a few
# seconds under a cap), each in MiB/s and as a share of the cap (1 KB = 1,024
# bytes).
#
#   scripts/bench-rate-cap.sh [CAP_KBPS ...]      (default 2048 8192 32768)
#
# Everything lives under build/bench-cap/; nginx runs only inside the private
# namespace of harness/netns-run and is stopped at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/bench-served-release.sh
bench=$root/build/bench-cap
www=$bench/www
size=$((48 << 20))
package=$www/downloads/quarvel/$version/$file_name
prefix=$root/build/windows/wine-prefix
exe=$root/build/windows/test-bin/QuarvelOnlineSetup.exe
policy_key='HKLM\Software\Policies\Quarvel'
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# Inside the namespace: nginx, then one download per cap ("none" first).
inside() {
  local out=$bench/out cap
  rm -rf "$out" && mkdir -p "$out"
  nginx -p "$bench/nginx" -c "$bench/nginx/nginx.conf" > "$bench/nginx/logs/stdout.log" 2>&1 &
  nginx_pid=$!
  trap '/usr/lib/wine/wine64 reg delete "$policy_key" /f > /dev/null 2>&1 || true;
        kill "$nginx_pid"; wait "$nginx_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/443) 2>/dev/null && break; sleep 0.05; done
  cat "$package" > /dev/null  # every run reads a package already in the page cache
  for cap in none "$@"; do
    /usr/lib/wine/wine64 reg delete "$policy_key" /f > /dev/null 2>&1 || true
    if [[ $cap != none ]]; then
      /usr/lib/wine/wine64 reg add "$policy_key\\OnlineSetup" /v MaxDownloadKBps /t REG_DWORD \
        /d "$cap" /f > /dev/null
    fi
    rm -rf "$bench/cache"
    : > "$bench/nginx/access.log"
    /usr/lib/wine/wine64 "$exe" --download-only --cache-dir "$(windows_path "$bench/cache")" \
      --report "$(windows_path "$out")\\r.json" > /dev/null 2>&1 || true
    grep -q '"status": "complete"' "$out/r.json" || { cat "$out/r.json" >&2; exit 1; }
    cmp -s "$bench/cache/$file_name" "$package" || { echo "$cap: the bytes differ" >&2; exit 1; }
    head -n 1 "$bench/cache/network.log" > "$out/policy.$cap"
    grep ' /downloads/' "$bench/nginx/access.log" > "$out/requests.$cap"
  done
  rm -rf "$bench/cache"
}

if [[ ${1:-} == --inside ]]; then
  shift
  inside "$@"
  exit
fi
caps=("$@")
[[ ${#caps[@]} -gt 0 ]] || caps=(2048 8192 32768)

echo "== building the executable (test host names)"
bench_windows_build "$prefix" QuarvelOnlineSetupForTests

echo "== the package (48 MiB of random bytes), the manifest and nginx under $bench"
bench_served_release "$www" "$bench/nginx" "$size"
# The access log also gets when each answer ended and how long it took.
sed -i "s/ \$upstream_cache_status';/ \$upstream_cache_status \$msec \$request_time';/" \
  "$bench/nginx/nginx.conf"
grep -q 'request_time' "$bench/nginx/nginx.conf" || { echo "no timing in the log" >&2; exit 1; }

echo "== one download without a cap, then under each of ${caps[*]} KB/s"
harness/netns-run "$prefix" "$0" --inside "${caps[@]}"

python3 - "$bench/out" "${caps[@]}" <<'PY'
import pathlib, sys
out, caps = pathlib.Path(sys.argv[1]), sys.argv[2:]
mib = 1048576

# A request starts once the installer has read the whole segment before it;
# when nginx ends an answer says little (the last megabytes wait in the
# sockets' buffers). So each segment's rate is its bytes over the time from
# its request to the next one's, and the download's is that of every
# segment but the last.
print(f"{'cap KB/s':>9}{'MiB/s':>8}{'of cap':>8}{'fastest segment':>17}{'of cap':>8}{'in s':>7}"
      f"{'segments':>10}   network.log")
for cap in ["none"] + caps:
    starts = []
    for line in (out / f"requests.{cap}").read_text().splitlines():
        fields = line.split()
        # ... "GET path HTTP/1.1" status bytes "referer" "agent" cache msec request_time
        starts.append((float(fields[-2]) - float(fields[-1]), int(fields[9])))
    starts.sort()
    segments = [(sent / (following - started), following - started)
                for (started, sent), (following, _) in zip(starts, starts[1:])]
    whole = sum(sent for _, sent in starts[:-1]) / (starts[-1][0] - starts[0][0]) / mib
    fastest, seconds = max(segments)
    fastest /= mib
    limit = int(cap) * 1024 / mib if cap != "none" else None
    share = lambda value: f"{value / limit:8.3f}" if limit else f"{'-':>8}"  # noqa: E731
    policy = (out / f"policy.{cap}").read_text().strip()
    print(f"{cap:>9}{whole:8.2f}{share(whole)}{fastest:17.2f}{share(fastest)}{seconds:7.2f}"
          f"{len(starts):10}"
          f"   {policy if policy.startswith('policy') else '(no policy line)'}")
PY
