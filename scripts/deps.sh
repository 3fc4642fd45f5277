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

"$(dirname "$0")/install-packages.sh" "${packages[@]}"
