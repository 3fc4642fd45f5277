#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the demo and the Debian
# package (its build and its checks) need, when they are missing. Runs apt-get only if something is missing.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev libssl-dev
  qt6-httpserver-dev libqt6httpserver6 qt6-websockets-dev chromium
  libpq-dev postgresql
  libgtest-dev googletest
  clang libclang-rt-14-dev
  libbenchmark-dev
  xvfb xauth
  help2man librsvg2-bin gzip dpkg-dev
  lintian desktop-file-utils appstream shared-mime-info man-db bash-completion
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
