#!/usr/bin/env bash
# Release-day benchmark on loopback inside harness/netns-run: the origin
# (hosting/nginx/quarvel-hosts.conf.in on 127.0.0.1:8443) behind the caching
# edge (quarvel-edge.conf.in on 443 for both names), a cold edge cache, then
# at once CLIENTS simulated clients (scripts/release-day-clients.py: the
# installer's requests, every byte checked) and 3 real installs under Wine
# (test host names, --quiet, each with its own cache and install folder).
# Prints clients and installs completed, the origin's package bytes divided by
# the package size (goal: at most 1.1), origin requests per 1 MiB slice, the
# edge's throughput and the clients' time p50/p99; then the same run with the
# query left in the edge's cache key, for comparison.
#
#   scripts/bench-release-day.sh [CLIENTS] [PACKAGE_MIB]     (default 200, 24)
#
# Each run is stopped after 300 s. Everything lives under build/bench-release-day/
# (with a Wine prefix of its own); nginx and Wine run only inside the namespace
# and are stopped at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bench=$root/build/bench-release-day
prefix=$bench/wine-prefix  # its own: the installs register themselves in it
pki=$root/build/windows/pki
exe=$root/build/windows/test-bin/QuarvelOnlineSetup.exe
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# Inside the namespace: one run with the edge rendered in $1.
run() {
  local edge=$1 out=$bench/out/$(basename "$1") i pids=()
  rm -rf "$out" "$edge/cache"/* && mkdir -p "$out"
  : > "$bench/origin/access.log"
  nginx -p "$bench/origin" -c "$bench/origin/nginx.conf" 2>> "$out/nginx.err" &
  local origin=$!
  nginx -p "$edge" -c "$edge/nginx.conf" 2>> "$out/nginx.err" &
  local edge_pid=$!
  for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/443) 2>/dev/null && break; sleep 0.05; done
  local started=$(date +%s.%N)
  for i in 1 2 3; do
    ( begun=$(date +%s.%N)
      timeout 300 /usr/lib/wine/wine64 "$exe" --quiet --cache-dir "$(windows_path "$out/cache$i")" \
        --install-dir "$(windows_path "$out/Quarvel$i")" --report "$(windows_path "$out/install$i.json")" \
        || true
      echo "$begun $(date +%s.%N)" > "$out/install$i.time" ) &
    pids+=($!)
  done
  timeout 300 python3 scripts/release-day-clients.py "$clients" "$bench/package.exe" "$pki/ca.pem" \
    releases.quarvel.test > "$out/clients.json" || echo '{"completed": 0, "failed": -1}' > "$out/clients.json"
  echo "$started $(date +%s.%N)" > "$out/clients.time"
  wait "${pids[@]}"
  kill "$edge_pid" "$origin"
  wait "$edge_pid" "$origin" 2>/dev/null || true
  cp "$bench/origin/access.log" "$out/origin.log"
  cp "$edge/access.log" "$out/edge.log"
  : > "$edge/access.log"
}

if [[ ${1:-} == --inside ]]; then
  clients=$2
  run "$bench/edge-path"
  run "$bench/edge-query"
  exit
fi
clients=${1:-200}
mib=${2:-24}

echo "== building the executable (test host names), the stand-in setup and quarvel-publish"
cmake --preset windows > /dev/null
cmake --build --preset windows --target QuarvelOnlineSetupForTests stand-in-setup trust-ca > /dev/null
cmake --preset native > /dev/null
cmake --build --preset native --target quarvel-publish > /dev/null
[[ -f $pki/hosts.pem ]] || harness/make-pki "$pki"
[[ -f $prefix/system.reg ]] || harness/wine-prefix "$prefix" "$pki/ca.der" build/windows/harness/trust-ca.exe

echo "== the package (the stand-in setup padded to $mib MiB), its manifest, origin and two edges"
mkdir -p "$bench" && find "$bench" -mindepth 1 -maxdepth 1 ! -name wine-prefix -exec rm -rf {} +
mkdir -p "$bench/www/api/v2/releases/quarvel"
python3 stand-in-setup/pad.py build/windows/stand-in/stand-in-setup.exe "$bench/package.exe" $((mib << 20))
upload=$(build/native/bin/quarvel-publish "$bench/package.exe" --version 1.4.2 --display-version 1.4 \
  --build 31 --package-host packages.quarvel.test --out "$bench" | head -n 1)
mv "$bench/latest.json" "$bench/www/api/v2/releases/quarvel/"
mkdir -p "$(dirname "$bench/www$upload")" && cp "$bench/package.exe" "$bench/www$upload"
names=(--release-host releases.quarvel.test --package-host packages.quarvel.test
  --certificate "$pki/hosts.pem" --key "$pki/hosts.key")
hosting/nginx/render.py "$bench/origin" "${names[@]}" --release-root "$bench/www" \
  --package-root "$bench/www" --listen 127.0.0.1:8443 > /dev/null
for key in path query; do
  hosting/nginx/render.py "$bench/edge-$key" --edge --origin 127.0.0.1:8443 --origin-ca "$pki/ca.pem" \
    "${names[@]}" > /dev/null
done
# The comparison: the whole address (query included) in the key, as many CDNs do by default.
sed -i 's/proxy_cache_key $uri$slice_range;/proxy_cache_key $request_uri$slice_range;/' \
  "$bench/edge-query/quarvel-edge.conf"
grep -q 'proxy_cache_key $request_uri$slice_range;' "$bench/edge-query/quarvel-edge.conf"

echo "== $clients clients and 3 installs under Wine, for each cache key, inside harness/netns-run"
harness/netns-run "$prefix" "$0" --inside "$clients"

python3 - "$bench/out" "$upload" "$(stat -c %s "$bench/package.exe")" <<'PY'
import json, math, pathlib, re, sys
out, upload, size = pathlib.Path(sys.argv[1]), sys.argv[2], int(sys.argv[3])
slices = math.ceil(size / 1048576)
line = re.compile(r'"GET (\S+) HTTP/1.1" (\d+) (\d+) ')

def package_lines(log):
    return [m for m in map(line.search, log.read_text().splitlines()) if m and m[1].startswith(upload)]

for key, label in (("edge-path", "path and slice (the edge as shipped)"),
                   ("edge-query", "path, query and slice (for comparison)")):
    run = out / key
    clients = json.loads((run / "clients.json").read_text())
    installs = sum(json.loads(p.read_text()).get("status") == "complete"
                   for p in run.glob("install*.json"))
    origin = package_lines(run / "origin.log")
    begun, ended = map(float, (run / "clients.time").read_text().split())
    edge_bytes = sum(int(m[3]) for m in package_lines(run / "edge.log"))
    seconds = sorted(clients.get("seconds", [])) or [math.nan]
    pick = lambda q: seconds[min(len(seconds) - 1, int(q * len(seconds)))]  # noqa: E731
    install_times = [b - a for a, b in (map(float, (run / f"install{i}.time").read_text().split())
                                         for i in (1, 2, 3))]
    print(f"== cache key: {label}")
    print(f"  clients completed {clients['completed']}/{clients['completed'] + max(clients['failed'], 0)}"
          f", installs completed {installs}/3 ({', '.join(f'{t:.1f} s' for t in install_times)})")
    if clients.get("first_error"):
        print(f"  first client error: {clients['first_error']}")
    print(f"  origin package bytes / package size: {sum(int(m[3]) for m in origin) / size:.2f}"
          f" (goal <= 1.1); origin requests per slice: {len(origin) / slices:.2f} ({slices} slices)")
    print(f"  edge throughput: {edge_bytes / 1048576 / (ended - begun):.1f} MB/s"
          f" ({edge_bytes / 1048576:.0f} MB in {ended - begun:.1f} s)")
    print(f"  client time p50 {pick(0.5):.2f} s, p99 {pick(0.99):.2f} s")
PY
