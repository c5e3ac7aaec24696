#!/usr/bin/env bash
# Installs what building and testing need, from Debian's packages (as root).
# Idempotent: does nothing when everything is there.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang-14 libclang-rt-14-dev clang-format
  g++-mingw-w64-x86-64-posix wine64
  nlohmann-json3-dev libssl-dev openssl googletest libgtest-dev libgmock-dev
  xvfb xdotool imagemagick fonts-wqy-microhei
  nginx-light iproute2 util-linux python3 binutils-mingw-w64-x86-64 time
  tinyproxy-bin osslsigncode
)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
