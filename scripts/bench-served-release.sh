# Sourced by the Wine download benchmarks (bench-download.sh, bench-rate-cap.sh):
# the steps they share. Run from the source folder.
#   bench_windows_build PREFIX TARGET...  the Windows preset's targets and
#                         trust-ca, the test PKI and the Wine prefix (once)
#   bench_served_release WWW NGINX SIZE   a package of SIZE random bytes (kept
#                         while its size is right) and its manifest under WWW,
#                         and NGINX/nginx.conf serving them on the test host
#                         names with hosting/nginx's documented configuration
version=1.4.2
file_name=Quarvel-1.4-b31-Windows-x64-Setup.exe

bench_windows_build() {
  local prefix=$1
  shift
  cmake --preset windows > /dev/null
  cmake --build --preset windows --target "$@" trust-ca > /dev/null
  [[ -f build/windows/pki/hosts.pem ]] || harness/make-pki build/windows/pki
  [[ -f $prefix/system.reg ]] ||
    harness/wine-prefix "$prefix" build/windows/pki/ca.der build/windows/harness/trust-ca.exe
}

bench_served_release() {
  local www=$1 nginx=$2 size=$3
  local package=$www/downloads/quarvel/$version/$file_name
  mkdir -p "$(dirname "$package")" "$www/api/v2/releases/quarvel" "$nginx/logs"
  if [[ ! -f $package || $(stat -c %s "$package") != "$size" || ! -f $package.sha256 ]]; then
    head -c "$size" /dev/urandom > "$package"
    sha256sum "$package" | cut -d' ' -f1 > "$package.sha256"
  fi
  cat > "$www/api/v2/releases/quarvel/latest.json" <<JSON
{"schema": 1, "product": "quarvel", "platform": "windows-x64", "channel": "cef-offline",
 "build": 31, "version": "$version", "displayVersion": "1.4", "bytes": $size,
 "sha256": "$(cat "$package.sha256")",
 "url": "https://packages.quarvel.test/downloads/quarvel/$version/$file_name"}
JSON
  # One folder serving both hosts.
  hosting/nginx/render.py "$nginx" --release-host releases.quarvel.test \
    --package-host packages.quarvel.test --certificate build/windows/pki/hosts.pem \
    --key build/windows/pki/hosts.key --release-root "$www" --package-root "$www" > /dev/null
}
