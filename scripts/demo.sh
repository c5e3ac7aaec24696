#!/usr/bin/env bash
# The program's main job, locally: a full headless install by the real
# executable under Wine, against HTTPS release and package hosts in a private
# network namespace, then a second run that shows the upgrade path (the
# install location discovered from the registration the setup left, the
# package reused from the cache). Everything lives under demo/; nothing keeps
# running afterwards.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh

echo "== building the executable (test host names), the stand-in setup and the harness tools"
cmake --preset windows >/dev/null
cmake --build --preset windows --target QuarvelOnlineSetupForTests stand-in-setup trust-ca >/dev/null

demo=$root/demo
rm -rf "$demo/hosts" "$demo/out" "$demo/cache"
mkdir -p "$demo/out"
harness/make-pki "$demo/pki"
echo "== preparing a private Wine prefix that trusts the demo CA"
harness/wine-prefix "$demo/wine-prefix" "$demo/pki/ca.der" build/windows/harness/trust-ca.exe

echo "== publishing build 31 (Quarvel 1.4) on the test hosts"
python3 - "$demo/hosts" build/windows/stand-in/stand-in-setup.exe <<'PY'
import hashlib, json, os, shutil, sys
hosts, package = sys.argv[1], sys.argv[2]
name = "Quarvel-1.4-b31-Windows-x64-Setup.exe"
folder = os.path.join(hosts, "downloads", "quarvel", "1.4.2")
os.makedirs(folder)
shutil.copy(package, os.path.join(folder, name))
data = open(package, "rb").read()
manifest = {
    "schema": 1, "product": "quarvel", "platform": "windows-x64", "channel": "cef-offline",
    "build": 31, "version": "1.4.2", "displayVersion": "1.4", "bytes": len(data),
    "sha256": hashlib.sha256(data).hexdigest(),
    "url": f"https://packages.quarvel.test/downloads/quarvel/1.4.2/{name}",
}
os.makedirs(os.path.join(hosts, "api", "v2", "releases", "quarvel"))
with open(os.path.join(hosts, "api", "v2", "releases", "quarvel", "latest.json"), "w") as f:
    json.dump(manifest, f, indent=2)
print(json.dumps(manifest, indent=2))
PY

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
cat > "$demo/out/runs.sh" <<RUNS
set -u
python3 test-hosts/quarvel_test_hosts.py --serve "$demo/hosts" --pki "$demo/pki" >"$demo/out/hosts.log" 2>&1 &
hosts=\$!
for _ in \$(seq 100); do grep -q serving "$demo/out/hosts.log" 2>/dev/null && break; sleep 0.1; done
exe=build/windows/test-bin/QuarvelOnlineSetup.exe
for run in 1 2; do
  /usr/lib/wine/wine64 "\$exe" --quiet --cache-dir '$(windows_path "$demo/cache")' \
    --report "$(windows_path "$demo/out")\\\\run\$run.json"
  echo "run \$run exit code: \$?" > "$demo/out/run\$run.exit"
done
kill \$hosts
wait \$hosts 2>/dev/null
RUNS
echo "== running the installer twice (headless, --quiet) inside the private namespace"
harness/netns-run "$demo/wine-prefix" bash "$demo/out/runs.sh"

show() { echo; echo "-- $1"; cat "$2"; echo; }
for run in 1 2; do
  echo
  echo "==================== run $run"
  cat "$demo/out/run$run.exit"
  show "report ($demo/out/run$run.json)" "$demo/out/run$run.json"
  show "progress file ($demo/out/run$run.progress.json)" "$demo/out/run$run.progress.json"
done
show "network log ($demo/cache/network.log)" "$demo/cache/network.log"
echo "-- cache folder"
ls -l "$demo/cache"
installed=$(find "$demo/wine-prefix/drive_c" -name quarvel-install.json -path '*Programs/Quarvel*' | head -n1)
echo "-- installed files ($(dirname "$installed"))"
ls -l "$(dirname "$installed")"
