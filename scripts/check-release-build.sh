#!/usr/bin/env bash
# Builds the shipped executable (production host names) twice, in two clean
# folders of different names, and checks that both files are byte-identical
# and within the size limit. The second build bypasses any compiler cache, so
# an object that depended on its folder or on the moment of building would
# show as a difference. Prints the size and the SHA-256 of the executable.
#
#   scripts/check-release-build.sh      (exits non-zero on any difference)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# The limit the build itself checks (cmake/release_executable.cmake).
limit=$(sed -n 's/^set(QUARVEL_EXECUTABLE_SIZE_LIMIT \([0-9]*\)).*/\1/p' cmake/release_executable.cmake)
first=build/release-check/first
second=build/release-check/second-folder

build() {  # folder
  rm -rf "$1"
  cmake --preset windows -B "$1" > /dev/null
  cmake --build "$1" --target QuarvelOnlineSetup > "$1.log" 2>&1 || { tail -n 30 "$1.log"; exit 1; }
}

echo "== building $first"
build "$first"
echo "== building $second (no compiler cache)"
CCACHE_DISABLE=1 build "$second"

a=$first/bin/QuarvelOnlineSetup.exe
b=$second/bin/QuarvelOnlineSetup.exe
size=$(stat -c %s "$a")
echo "QuarvelOnlineSetup.exe: $size bytes (limit $limit), sha256 $(sha256sum "$a" | cut -d' ' -f1)"
if ! cmp "$a" "$b"; then
  echo "the two builds differ" >&2
  exit 1
fi
echo "the two builds are byte-identical"
if [ "$size" -gt "$limit" ]; then
  echo "the executable is over the limit of $limit bytes" >&2
  exit 1
fi
rm -rf build/release-check
