#!/usr/bin/env bash
# Upgrade benchmark under Wine: what an upgrade from the cached release costs
# against a full download of the same package, for pairs of releases
# (build 30, then build 31):
#   synthetic   30,000,000 random bytes, and the same with 100 KB inserted,
#               200 KB overwritten and 50 KB deleted at three places;
#   tar         two consecutive releases of a public npm package (default
#               typescript 5.4.4 and 5.4.5, fetched with `npm pack`), their
#               files stored uncompressed (the registry's tarball, gunzipped);
#   zip         the same files compressed one by one (deflate);
#   rsyncable   the tarball compressed again with `gzip --rsyncable`.
# Each pair is published and signed by quarvel-publish (the new release with
# --compare-with the old one's map, whose prediction is printed beside the
# measurement) and served by the test hosts (test-hosts/) in the private
# namespace of harness/netns-run. The real executable (the build that trusts
# the test manifest key, --download-only) first downloads the old release into
# a fresh cache, then the new one: the upgrade; then the new one into an empty
# cache: the full download. Prints, for each, the bytes the package host sent
# (the chunk map included), the requests it answered and the wall time of the
# run, and the share of the package sent beside the figures measured with a
# reference chunker (tar 7.9 %, zip 82.6 %, rsyncable 34 %) and the target
# for the synthetic pair (at most 5 %). Figures, not a test.
#
#   scripts/bench-upgrade.sh [NPM_PACKAGE OLD_VERSION NEW_VERSION]
#
# Everything lives under build/bench-upgrade/; the registry's tarballs are
# kept there and fetched once.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/bench-served-release.sh
bench=$root/build/bench-upgrade
prefix=$root/build/windows/wine-prefix
exe=$root/build/windows/test-bin-manifest/QuarvelOnlineSetup.exe
key=$root/build/windows/pki/manifest-key.pem
pairs=(synthetic tar zip rsyncable)

# Inside the namespace: for each pair the upgrade, then the full download.
if [[ ${1:-} == --inside ]]; then
  PYTHONPATH=$root/test-hosts python3 - "$bench" "$exe" "$prefix" "${pairs[@]}" <<'PY'
import json, os, pathlib, shutil, subprocess, sys, time
import quarvel_test_hosts as th
bench, exe, prefix, pairs = pathlib.Path(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4:]
cache = bench / "cache"
windows = lambda path: "Z:" + str(path).replace("/", "\\")  # noqa: E731
hosts = th.TestHosts(bench.parent / "windows" / "pki", bind="127.0.0.1").start()


def serve(release):
    """The release's package and map at their upload paths, its manifest."""
    out = bench / "pairs" / release
    upload = (out / "upload").read_text().strip()
    hosts.files = {upload: out / "package", upload + ".chunks": out / "package.chunks"}
    hosts.set_manifest((out / "latest.json").read_bytes())


def download(release):
    """One --download-only run into the cache: its figures."""
    serve(release)
    hosts.clear_requests()
    started = time.monotonic()
    subprocess.run(["/usr/lib/wine/wine64", exe, "--download-only", "--cache-dir", windows(cache),
                    "--report", windows(bench / "report.json")],
                   env=dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all"), check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seconds = time.monotonic() - started
    report = json.loads((bench / "report.json").read_text())
    if report.get("status") != "complete":
        sys.exit(f"{release}: {report}")
    return {"sent": hosts.sent[th.PACKAGE_HOST], "requests": sum(r.path.startswith("/downloads/") for r in hosts.requests),
            "seconds": seconds, "network": report.get("networkBytes"), "bytes": report["bytes"]}


results = {}
try:
    for pair in pairs:
        shutil.rmtree(cache, ignore_errors=True)
        download(f"{pair}/old")
        upgrade = download(f"{pair}/new")
        shutil.rmtree(cache, ignore_errors=True)
        results[pair] = {"upgrade": upgrade, "full": download(f"{pair}/new")}
finally:
    hosts.stop()
    shutil.rmtree(cache, ignore_errors=True)
(bench / "results.json").write_text(json.dumps(results))
PY
  exit
fi
npm_name=${1:-typescript} npm_old=${2:-5.4.4} npm_new=${3:-5.4.5}

echo "== building the executable (test host names, test manifest key) and quarvel-publish"
bench_windows_build "$prefix" QuarvelOnlineSetupForManifestTests
cmake --preset native > /dev/null
cmake --build --preset native --target quarvel-publish > /dev/null

echo "== the pairs under $bench/pairs ($npm_name $npm_old and $npm_new from the npm registry)"
mkdir -p "$bench/npm"
for version in "$npm_old" "$npm_new"; do
  [[ -f $bench/npm/$npm_name-$version.tgz ]] || (cd "$bench/npm" && npm pack --silent "$npm_name@$version" > /dev/null)
done
python3 - "$bench" "$bench/npm/$npm_name-$npm_old.tgz" "$bench/npm/$npm_name-$npm_new.tgz" <<'PY'
import gzip, io, pathlib, random, subprocess, sys, tarfile, zipfile
bench, tarballs = pathlib.Path(sys.argv[1]), sys.argv[2:]


def write(pair, old, new):
    for release, data in (("old", old), ("new", new)):
        folder = bench / "pairs" / pair / release
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "package").write_bytes(data)


def zipped(tar):
    """The tar's files, each deflated on its own, in the tar's order."""
    out = io.BytesIO()
    with tarfile.open(fileobj=io.BytesIO(tar)) as files, zipfile.ZipFile(out, "w") as archive:
        for member in files:
            if member.isfile():
                info = zipfile.ZipInfo(member.name, (2024, 1, 1, 0, 0, 0))
                info.compress_type = zipfile.ZIP_DEFLATED
                archive.writestr(info, files.extractfile(member).read())
    return out.getvalue()


def rsyncable(tar):
    return subprocess.run(["gzip", "--rsyncable", "-n", "-c"], input=tar, capture_output=True,
                          check=True).stdout


draw = random.Random(31)
old = draw.randbytes(30_000_000)
new = bytearray(old)
del new[22_500_000:22_550_000]
new[15_000_000:15_200_000] = draw.randbytes(200_000)
new[7_500_000:7_500_000] = draw.randbytes(100_000)
write("synthetic", old, bytes(new))
tars = [gzip.decompress(pathlib.Path(tarball).read_bytes()) for tarball in tarballs]
write("tar", *tars)
write("zip", *map(zipped, tars))
write("rsyncable", *map(rsyncable, tars))
PY
# Build 30, then build 31 into the same folder (a later serial), compared with 30.
for pair in "${pairs[@]}"; do
  out=$bench/pairs/$pair
  rm -rf "$out/publish"
  for release in old new; do
    if [[ $release == old ]]; then
      release_options=(--version 1.4.1 --build 30)
    else
      release_options=(--version 1.4.2 --build 31 --compare-with "$out/old/package.chunks")
    fi
    build/native/bin/quarvel-publish "$out/$release/package" "${release_options[@]}" \
      --display-version 1.4 --package-host packages.quarvel.test --out "$out/publish" \
      --signing-key "$key" > "$out/$release/printed"
    head -n 1 "$out/$release/printed" > "$out/$release/upload"
    cp "$out/publish/latest.json" "$out/$release/latest.json"
    cp "$out/publish/$(basename "$(cat "$out/$release/upload")").chunks" "$out/$release/package.chunks"
  done
done

echo "== for each pair: the old release into a fresh cache, the upgrade, then a full download"
harness/netns-run "$prefix" "$0" --inside

python3 - "$bench" "${pairs[@]}" <<'PY'
import json, pathlib, sys
bench, pairs = pathlib.Path(sys.argv[1]), sys.argv[2:]
results = json.loads((bench / "results.json").read_text())
anchors = {"synthetic": "target at most 5 %", "tar": "reference chunker 7.9 %",
           "zip": "reference chunker 82.6 %", "rsyncable": "reference chunker 34 %"}
print(f"{'pair':<10}{'package':>12}{'run':>9}{'bytes sent':>12}{'of package':>11}{'requests':>9}"
      f"{'seconds':>9}   predicted by quarvel-publish; measured elsewhere")
for pair in pairs:
    predicted = (bench / "pairs" / pair / "new" / "printed").read_text().splitlines()[-1]
    predicted = predicted.split(": ", 1)[1]
    for run in ("upgrade", "full"):
        r = results[pair][run]
        notes = f"   {predicted}; {anchors[pair]}" if run == "upgrade" else ""
        print(f"{pair if run == 'upgrade' else '':<10}{r['bytes']:>12,}{run:>9}{r['sent']:>12,}"
              f"{100 * r['sent'] / r['bytes']:>10.1f}%{r['requests']:>9}{r['seconds']:>9.2f}{notes}")
PY
