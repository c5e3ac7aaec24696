#!/usr/bin/env bash
# The program's main job, locally: a full headless install by the real
# executable under Wine, against HTTPS release and package hosts in a private
# network namespace (nginx with the documented configuration of hosting/nginx,
# serving a release written and signed by quarvel-publish, its chunk map
# fetched first and every chunk checked as it arrives), then a second run
# that shows the upgrade path (the install location discovered from the
# registration the setup left, the package reused from the cache), and a
# third with the manifest gone from the release host, which installs through
# the signed manifest kept in the cache. Everything lives under demo/; nothing
# keeps running afterwards.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh

echo "== building the executable (test host names, trusting the test manifest key), the stand-in setup and the harness tools"
cmake --preset windows >/dev/null
cmake --build --preset windows --target QuarvelOnlineSetupForManifestTests stand-in-setup trust-ca >/dev/null
# The key pair that build trusts (harness/make-pki made it while building).
manifest_key=build/windows/pki/manifest-key.pem
echo "== building quarvel-publish (native)"
cmake --preset native >/dev/null
cmake --build --preset native --target quarvel-publish >/dev/null

demo=$root/demo
rm -rf "$demo/hosts" "$demo/out" "$demo/cache" "$demo/nginx"
mkdir -p "$demo/out"
harness/make-pki "$demo/pki"
echo "== preparing a private Wine prefix that trusts the demo CA"
harness/wine-prefix "$demo/wine-prefix" "$demo/pki/ca.der" build/windows/harness/trust-ca.exe

echo "== publishing build 31 (Quarvel 1.4) with quarvel-publish, signed with $manifest_key"
# The stand-in setup, padded to 20,000,000 bytes so the download takes three segments.
python3 stand-in-setup/pad.py build/windows/stand-in/stand-in-setup.exe "$demo/out/package.exe" 20000000
published=$(build/native/bin/quarvel-publish "$demo/out/package.exe" --version 1.4.2 \
  --display-version 1.4 --build 31 --package-host packages.quarvel.test --out "$demo/out" \
  --signing-key "$manifest_key")
# The package's upload path, its chunk map's, then the serial and expiry.
upload_path=${published%%$'\n'*}
echo "quarvel-publish: ${published#*$'\n'}"
echo "latest.json: $(cat "$demo/out/latest.json")"
echo "its signed payload: $(python3 -c 'import base64, json, sys
print(base64.b64decode(json.load(open(sys.argv[1]))["signed"]).decode())' "$demo/out/latest.json")"
echo "package upload path: $upload_path"
# What the two hosts serve: the manifest at its fixed path, the package at its
# upload path and its chunk map beside it.
manifest_dir=$demo/hosts/release/api/v2/releases/quarvel
mkdir -p "$manifest_dir" "$(dirname "$demo/hosts/packages$upload_path")"
mv "$demo/out/latest.json" "$manifest_dir/latest.json"
mv "$demo/out/package.exe" "$demo/hosts/packages$upload_path"
mv "$demo/out/${upload_path##*/}.chunks" "$demo/hosts/packages$upload_path.chunks"

echo "== the release and package hosts: nginx with hosting/nginx/quarvel-hosts.conf.in"
hosting/nginx/render.py "$demo/nginx" --release-host releases.quarvel.test \
  --package-host packages.quarvel.test --certificate "$demo/pki/hosts.pem" \
  --key "$demo/pki/hosts.key" --release-root "$demo/hosts/release" \
  --package-root "$demo/hosts/packages" >/dev/null

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
cat > "$demo/out/runs.sh" <<RUNS
set -u
nginx -p "$demo/nginx" -c "$demo/nginx/nginx.conf" &
server=\$!
for _ in \$(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/443) 2>/dev/null && break; sleep 0.05; done
exe=build/windows/test-bin-manifest/QuarvelOnlineSetup.exe
# Run 1 installs where it is told; run 2 finds that installation in the registry;
# run 3 finds no manifest on the release host (404) and uses the kept one.
install_dir=(--install-dir 'C:\Quarvel Demo\Quarvel')
# Wine's own messages (its err channel) go to a file per run, shown only for a
# run that failed.
for run in 1 2 3; do
  [ \$run = 3 ] && mv "$manifest_dir/latest.json" "$demo/out/latest.json.withdrawn"
  /usr/lib/wine/wine64 "\$exe" --quiet --cache-dir '$(windows_path "$demo/cache")' \
    --report "$(windows_path "$demo/out")\\\\run\$run.json" "\${install_dir[@]}" \
    2> "$demo/out/run\$run.wine.log"
  echo "\$?" > "$demo/out/run\$run.exit"
  install_dir=()
done
kill \$server
wait \$server 2>/dev/null
RUNS
echo "== running the installer three times (headless, --quiet) inside the private namespace"
harness/netns-run "$demo/wine-prefix" bash "$demo/out/runs.sh"

show() { echo; echo "-- $1"; cat "$2"; echo; }
for run in 1 2 3; do
  echo
  echo "==================== run $run"
  exit_code=$(cat "$demo/out/run$run.exit")
  echo "run $run exit code: $exit_code"
  if [ "$exit_code" != 0 ] || [ ! -f "$demo/out/run$run.json" ]; then
    show "what Wine wrote" "$demo/out/run$run.wine.log"
  fi
  show "report ($demo/out/run$run.json)" "$demo/out/run$run.json"
  show "progress file ($demo/out/run$run.progress.json)" "$demo/out/run$run.progress.json"
done
show "network log ($demo/cache/network.log)" "$demo/cache/network.log"
show "nginx access log ($demo/nginx/access.log)" "$demo/nginx/access.log"
show "kept manifest ($demo/cache/latest.json)" "$demo/cache/latest.json"
echo "-- cache folder"
ls -l "$demo/cache"
echo "-- installed files (C:\\Quarvel Demo\\Quarvel)"
ls -l "$demo/wine-prefix/drive_c/Quarvel Demo/Quarvel"
