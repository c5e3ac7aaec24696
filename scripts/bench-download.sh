#!/usr/bin/env bash
# Download benchmark under Wine: a package of random bytes (1 GiB unless MIB
# says otherwise), published and signed by quarvel-publish, served by nginx
# over TLS on the test host names (with hosting/nginx's configuration), fetched
# by the real executable (test host names, --download-only) without the chunk
# map (the build without manifest keys), by the build that trusts the test
# manifest key with a signed manifest that names no map (the signed manifest's
# own cost) and with one that does (the map fetched first, every chunk checked
# as it arrives), and, side by side, by the bare WinHTTP loop
# (online-setup/bench/download/winhttp_loop_win32.cpp) with the same 8 MiB
# ranged requests, 64 KiB reads and one flush per segment. Prints wall time,
# MB/s (1 MB = 1,048,576 bytes), CPU seconds (user+sys of the Wine process
# and, apart, the prefix's wineserver) and peak resident memory for each, and
# the ratios, the chunk checks' share among them. For the engine it also
# splits wall time and CPU at the moment the progress file first shows the
# verifying text: the download, then the SHA-256 verification and the rename.
#
# Then a first package host that inverts one byte in every answer (the test
# hosts, on the first name of the build with two package hosts and the test
# manifest key) beside a sound second one: the bytes each host sent for one
# install of the same package, against the target of the package and one
# segment, and the network log.
#
#   scripts/bench-download.sh [ROUNDS] [MIB]  (default 2 and 1024; rounds
#                                              alternate loop, engine, signed
#                                              manifest without the map, with it)
#
# Everything lives under build/bench/; nginx and the test hosts run only
# inside the private namespace of harness/netns-run and are stopped at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/bench-served-release.sh
bench=$root/build/bench
www=$bench/www
mib=${2:-1024}
[[ ${1:-} == --inside ]] && mib=$3  # the inner call: --inside ROUNDS MIB
size=$((mib << 20))
upload=/downloads/quarvel/$version/$file_name
package=$www$upload
prefix=$root/build/windows/wine-prefix
engine_exe=$root/build/windows/test-bin/QuarvelOnlineSetup.exe
map_exe=$root/build/windows/test-bin-manifest/QuarvelOnlineSetup.exe
bad_host_exe=$root/build/windows/test-bin-manifest-two-hosts/QuarvelOnlineSetup.exe
loop_exe=$root/build/windows/bench/winhttp-loop.exe
manifest_key=$root/build/windows/pki/manifest-key.pem
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# The CPU seconds (user+sys) the prefix's wineserver has used so far; the
# server is the one working in the prefix's server folder ("server-DEV-INODE").
wineserver_cpu() {
  local dir p
  dir=$(printf 'server-%x-%x' "$(stat -c %d "$prefix")" "$(stat -c %i "$prefix")")
  for p in /proc/[0-9]*; do
    if [[ $(cat "$p/comm" 2>/dev/null) == wineserver* && $(readlink "$p/cwd" 2>/dev/null) == */"$dir" ]]; then
      awk -v tck="$(getconf CLK_TCK)" '{ printf "%.2f\n", ($14 + $15) / tck }' "$p/stat"
      return
    fi
  done
  echo 0
}

# One measured run: /usr/bin/time on the wine64 invocation, the sampler on the
# Windows process, the wineserver's CPU around it. Writes "$out/$name.$round"
# as "wall user sys maxrss_kib server_cpu" and "$out/$name.mark.$round".
measure() {
  local name=$1 round=$2
  shift 2
  local before after timer sampler
  rm -f "$out/r.progress.json"
  before=$(wineserver_cpu)
  /usr/bin/time -f '%e %U %S %M' -o "$out/$name.time" /usr/lib/wine/wine64 "$@" > /dev/null &
  timer=$!
  python3 "$bench/sample.py" "$timer" "$out/r.progress.json" > "$out/$name.mark.$round" &
  sampler=$!
  wait "$timer" || { echo "$name: the run failed" >&2; exit 1; }
  wait "$sampler"
  after=$(wineserver_cpu)
  echo "$(cat "$out/$name.time") $(awk -v a="$after" -v b="$before" 'BEGIN { print a - b }')" \
    > "$out/$name.$round"
}

# Inside the namespace: nginx, then the rounds.
inside() {
  local rounds=$1 round
  out=$bench/out
  rm -rf "$out" && mkdir -p "$out"
  nginx -p "$bench/nginx" -c "$bench/nginx/nginx.conf" > "$bench/nginx/logs/stdout.log" 2>&1 &
  nginx_pid=$!
  trap 'kill "$nginx_pid"; wait "$nginx_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/443) 2>/dev/null && break; sleep 0.05; done
  cat "$package" > /dev/null  # both sides read a package already in the page cache
  for round in $(seq "$rounds"); do
    rm -rf "$bench/loop-out" "$bench/cache" && mkdir -p "$bench/loop-out"
    measure loop "$round" "$loop_exe" packages.quarvel.test \
      "/downloads/quarvel/$version/$file_name" "$size" "$(windows_path "$bench/loop-out/package")"
    cmp -s "$bench/loop-out/package" "$package" || { echo "loop: the bytes differ" >&2; exit 1; }
    rm -rf "$bench/loop-out"
    for name in engine signed map; do
      rm -rf "$bench/cache"
      exe=$engine_exe
      [[ $name != engine ]] && exe=$map_exe
      # The signed manifest without its chunk map's member, or with it.
      manifest=$bench/latest-with-map.json
      [[ $name == signed ]] && manifest=$bench/latest-without-map.json
      cp "$manifest" "$www/api/v2/releases/quarvel/latest.json"
      measure "$name" "$round" "$exe" --download-only --cache-dir "$(windows_path "$bench/cache")" \
        --report "$(windows_path "$out")\\r.json"
      grep -q '"status": "complete"' "$out/r.json" || { cat "$out/r.json" >&2; exit 1; }
      cmp -s "$bench/cache/$file_name" "$package" || { echo "$name: the bytes differ" >&2; exit 1; }
    done
    grep -q '^request=1 map=' "$bench/cache/network.log" ||
      { echo "map: no chunk map was fetched" >&2; exit 1; }
  done
  rm -rf "$bench/cache"
  kill "$nginx_pid"; wait "$nginx_pid" 2>/dev/null || true
  trap - EXIT
  bad_host
}

# The test hosts on every address: the first package host inverts the byte at
# 1,000,000 of each answer (its chunk map, shorter, stays sound).
bad_host() {
  rm -rf "$bench/cache"
  PYTHONPATH=$root/test-hosts python3 - "$bench" "$upload" "$package" "$bench/bad-host" \
    "$bad_host_exe" "$(windows_path "$bench/cache")" "$prefix" "$root/build/windows/pki" <<'PY'
import json, os, pathlib, subprocess, sys
import quarvel_test_hosts as th
bench, upload, package, publication, exe, cache, prefix, pki = sys.argv[1:]
hosts = th.TestHosts(pki, bind="0.0.0.0").start()
try:
    publication = pathlib.Path(publication)
    hosts.set_manifest((publication / "latest.json").read_bytes())
    hosts.files[upload] = pathlib.Path(package)
    hosts.files[upload + ".chunks"] = publication / (pathlib.Path(upload).name + ".chunks")
    hosts.always(th.Fault(host=th.FIRST_PACKAGE_HOST, path="/downloads/", flip_at=1_000_000))
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")
    code = subprocess.run(["/usr/lib/wine/wine64", exe, "--download-only", "--cache-dir", cache],
                          env=env).returncode
    json.dump({"code": code, "sent": dict(hosts.sent)},
              open(pathlib.Path(bench) / "out" / "bad-host.json", "w"))
finally:
    hosts.stop()
PY
  cp "$bench/cache/network.log" "$bench/out/bad-host.log"
  rm -rf "$bench/cache"
}

if [[ ${1:-} == --inside ]]; then
  inside "$2"
  exit
fi
rounds=${1:-2}

echo "== building the executables (test host names; with the test manifest key; with two hosts per role too), the bare WinHTTP loop and quarvel-publish"
bench_windows_build "$prefix" QuarvelOnlineSetupForTests QuarvelOnlineSetupForManifestTests \
  QuarvelOnlineSetupForManifestTwoHostTests winhttp-loop
cmake --preset native > /dev/null
cmake --build --preset native --target quarvel-publish > /dev/null

echo "== the package ($mib MiB of random bytes), its signed manifest and chunk map under $www"
mkdir -p "$(dirname "$package")" "$www/api/v2/releases/quarvel" "$bench/nginx/logs"
if [[ ! -f $package || $(stat -c %s "$package") != "$size" ]]; then
  head -c "$size" /dev/urandom > "$package"
fi
# One publication for nginx (the package host's usual name) and one for the
# bad-host case, which names the first package host of the two-host build.
for host in packages.quarvel.test packages-a.quarvel.test; do
  out_dir=$bench/publish-$host
  rm -rf "$out_dir"
  build/native/bin/quarvel-publish "$package" --version "$version" --display-version 1.4 \
    --build 31 --package-host "$host" --out "$out_dir" --signing-key "$manifest_key" > /dev/null
done
cp "$bench/publish-packages.quarvel.test/latest.json" "$bench/latest-with-map.json"
# The same release signed without the chunk map's member: the signed manifest's own cost.
python3 - "$bench/latest-with-map.json" "$manifest_key" > "$bench/latest-without-map.json" <<'PY'
import base64, hashlib, json, subprocess, sys
manifest = json.load(open(sys.argv[1]))
payload = json.loads(base64.b64decode(manifest["signed"]))
del payload["chunks"]
text = json.dumps(payload, separators=(",", ":"), sort_keys=True).encode()
key = subprocess.run(["openssl", "pkey", "-in", sys.argv[2], "-pubout", "-outform", "DER"],
                     capture_output=True, check=True).stdout
signature = subprocess.run(["openssl", "dgst", "-sha256", "-sign", sys.argv[2]], input=text,
                           capture_output=True, check=True).stdout
manifest["signed"] = base64.b64encode(text).decode()
manifest["signatures"] = [{"key": hashlib.sha256(key).hexdigest(),
                           "sig": base64.b64encode(signature).decode()}]
print(json.dumps(manifest, separators=(",", ":"), sort_keys=True))
PY
cp "$bench/publish-packages.quarvel.test/$file_name.chunks" "$package.chunks"
rm -rf "$bench/bad-host" && mv "$bench/publish-packages-a.quarvel.test" "$bench/bad-host"

# nginx with the documented configuration of the two hosts, one folder serving both.
hosting/nginx/render.py "$bench/nginx" --release-host releases.quarvel.test \
  --package-host packages.quarvel.test --certificate build/windows/pki/hosts.pem \
  --key build/windows/pki/hosts.key --release-root "$www" --package-root "$www" > /dev/null

cat > "$bench/sample.py" <<'PY'
# Follows the Windows process that /usr/bin/time (pid argv[1]) started, every
# 0.1 s, and prints "mark SECONDS CPU_SECONDS" for the moment the progress
# file (argv[2]) first shows the verifying text, if it does.
import os, sys, time
timer, progress = sys.argv[1], sys.argv[2]
tick = os.sysconf("SC_CLK_TCK")
start = time.monotonic()

def child():
    try:
        with open(f"/proc/{timer}/task/{timer}/children") as children:
            return children.read().split()[0]
    except (OSError, IndexError):
        return None

def cpu(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / tick

pid = None
while pid is None and os.path.exists(f"/proc/{timer}"):
    pid = child()
    time.sleep(0.01)
try:
    while pid:
        used = cpu(pid)
        try:
            with open(progress, encoding="utf-8") as shown:
                if "正在校验安装包" in shown.read():
                    print(f"mark {time.monotonic() - start:.2f} {used:.2f}")
                    break
        except (OSError, UnicodeDecodeError):
            pass
        time.sleep(0.1)
except OSError:
    pass  # the process has ended
PY

echo "== $rounds round(s) inside harness/netns-run: bare loop, engine, engine with the map; then a bad first host"
harness/netns-run "$prefix" "$0" --inside "$rounds" "$mib"

python3 - "$bench/out" "$rounds" "$size" <<'PY'
import json, pathlib, sys
out, rounds, size = pathlib.Path(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
mib = 1048576
segment = 8 * mib

def load(name, round_):
    wall, user, system, rss, server = (out / f"{name}.{round_}").read_text().split()
    mark = (out / f"{name}.mark.{round_}").read_text().split()
    return {"wall": float(wall), "cpu": float(user) + float(system), "server": float(server),
            "rss": int(rss), "mark": [float(v) for v in mark[1:]] if mark else None}

print(f"package: {size / mib:.0f} MB; engine: the build without manifest keys; signed: the build"
      f" with them, a signed manifest without the chunk map; map: with it")
print(f"{'':12}{'wall s':>8}{'MB/s':>8}{'CPU s':>7}{'server':>8}{'peak RSS':>13}")
names = ("loop", "engine", "signed", "map")
runs = {name: [load(name, r) for r in range(1, rounds + 1)] for name in names}
for round_ in range(rounds):
    for name in names:
        run = runs[name][round_]
        line = (f"{name + ' #' + str(round_ + 1):12}{run['wall']:8.2f}{size / mib / run['wall']:8.1f}"
                f"{run['cpu']:7.2f}{run['server']:8.2f}{run['rss'] / 1024:9.1f} MiB")
        if run["mark"]:
            seconds, cpu = run["mark"]
            line += (f"   download {seconds:.2f} s / {cpu:.2f} CPU s,"
                     f" verify+rename {run['wall'] - seconds:.2f} s / {run['cpu'] - cpu:.2f} CPU s")
        print(line)

def median(name, key):
    values = sorted(run[key] for run in runs[name])
    middle = len(values) // 2
    return values[middle] if len(values) % 2 else (values[middle - 1] + values[middle]) / 2

loop, engine, signed, mapped = ({key: median(name, key) for key in ("wall", "cpu", "rss")}
                                for name in names)
print(f"medians: engine/loop wall {engine['wall'] / loop['wall']:.3f} (target <= 1.10),"
      f" CPU {engine['cpu'] / loop['cpu']:.3f},"
      f" peak RSS {(engine['rss'] - loop['rss']) / 1024:+.1f} MiB (target <= +4 MiB)")
print(f"with the map: map/loop wall {mapped['wall'] / loop['wall']:.3f}; map/engine wall"
      f" {mapped['wall'] / engine['wall']:.3f}, CPU {mapped['cpu'] / engine['cpu']:.3f};"
      f" map/signed (the map's fetch and the chunk checks; target well under 1.05) wall"
      f" {mapped['wall'] / signed['wall']:.3f}, CPU {mapped['cpu'] / signed['cpu']:.3f},"
      f" peak RSS {(mapped['rss'] - signed['rss']) / 1024:+.1f} MiB")

bad = json.loads((out / "bad-host.json").read_text())
sent = {host: n for host, n in bad["sent"].items() if host.startswith("packages")}
total = sum(sent.values())
print(f"\nbad first host (inverts the byte at 1,000,000 of every answer), sound second host:"
      f" exit code {bad['code']}")
for host, n in sorted(sent.items()):
    print(f"  {host}: {n:,} bytes sent")
print(f"  both: {total:,} bytes = the package + {total - size:,}"
      f" (target: at most the package + one segment, {size + segment:,})")
print("  network log:")
for line in (out / "bad-host.log").read_text(encoding="utf-8").splitlines():
    print("    " + line)
PY
