#!/usr/bin/env bash
# Download benchmark under Wine: a 1 GiB package served by nginx over TLS on
# the test host names (with hosting/nginx's configuration), fetched by the real
# executable (test host names, --download-only) and, side by side, by the bare
# WinHTTP loop (online-setup/bench/download/winhttp_loop_win32.cpp) with the same 8 MiB
# ranged requests, 64 KiB reads and one flush per segment. Prints wall time,
# MB/s (1 MB = 1,048,576 bytes), CPU seconds (user+sys of the Wine process
# and, apart, the prefix's wineserver) and peak resident memory for both, and
# the ratios. For the engine it also splits wall time and CPU at the moment the
# progress file first shows the verifying text: the download, then the SHA-256
# verification and the rename.
#
#   scripts/bench-download.sh [ROUNDS]      (default 2; rounds alternate loop, engine)
#
# Everything lives under build/bench/; nginx runs only inside the private
# namespace of harness/netns-run and is stopped at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/bench-served-release.sh
bench=$root/build/bench
www=$bench/www
size=$((1 << 30))
package=$www/downloads/quarvel/$version/$file_name
prefix=$root/build/windows/wine-prefix
engine_exe=$root/build/windows/test-bin/QuarvelOnlineSetup.exe
loop_exe=$root/build/windows/bench/winhttp-loop.exe
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
    measure engine "$round" "$engine_exe" --download-only --cache-dir "$(windows_path "$bench/cache")" \
      --report "$(windows_path "$out")\\r.json"
    grep -q '"status": "complete"' "$out/r.json" || { cat "$out/r.json" >&2; exit 1; }
    cmp -s "$bench/cache/$file_name" "$package" || { echo "engine: the bytes differ" >&2; exit 1; }
  done
  rm -rf "$bench/cache"
}

if [[ ${1:-} == --inside ]]; then
  inside "$2"
  exit
fi
rounds=${1:-2}

echo "== building the executable (test host names) and the bare WinHTTP loop"
bench_windows_build "$prefix" QuarvelOnlineSetupForTests winhttp-loop

echo "== the package (1 GiB of random bytes), the manifest and nginx under $bench"
bench_served_release "$www" "$bench/nginx" "$size"

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

echo "== $rounds round(s) inside harness/netns-run: bare loop, then engine"
harness/netns-run "$prefix" "$0" --inside "$rounds"

python3 - "$bench/out" "$rounds" "$size" <<'PY'
import pathlib, sys
out, rounds, size = pathlib.Path(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
mib = 1048576

def load(name, round_):
    wall, user, system, rss, server = (out / f"{name}.{round_}").read_text().split()
    mark = (out / f"{name}.mark.{round_}").read_text().split()
    return {"wall": float(wall), "cpu": float(user) + float(system), "server": float(server),
            "rss": int(rss), "mark": [float(v) for v in mark[1:]] if mark else None}

print(f"{'':12}{'wall s':>8}{'MB/s':>8}{'CPU s':>7}{'server':>8}{'peak RSS':>13}")
best = {}
for round_ in range(1, rounds + 1):
    for name in ("loop", "engine"):
        run = load(name, round_)
        best[name] = min(best.get(name, run), run, key=lambda r: r["wall"])
        line = (f"{name + ' #' + str(round_):12}{run['wall']:8.2f}{size / mib / run['wall']:8.1f}"
                f"{run['cpu']:7.2f}{run['server']:8.2f}{run['rss'] / 1024:9.1f} MiB")
        if run["mark"]:
            seconds, cpu = run["mark"]
            line += (f"   download {seconds:.2f} s / {cpu:.2f} CPU s,"
                     f" verify+rename {run['wall'] - seconds:.2f} s / {run['cpu'] - cpu:.2f} CPU s")
        print(line)
loop, engine = best["loop"], best["engine"]
print(f"fastest of each: engine/loop wall {engine['wall'] / loop['wall']:.3f} (target <= 1.10),"
      f" CPU {engine['cpu'] / loop['cpu']:.3f},"
      f" peak RSS {(engine['rss'] - loop['rss']) / 1024:+.1f} MiB (target <= +4 MiB)")
if engine["mark"]:
    print(f"engine download phase alone / loop: wall {engine['mark'][0] / loop['wall']:.3f},"
          f" CPU {engine['mark'][1] / loop['cpu']:.3f}")
PY
