#!/usr/bin/env bash
# Builds the Debian package vlboot_VERSION_ARCH.deb from the source and puts
# it at the top of the source tree, ready for  apt install ./vlboot_*.deb
# The build is in build-pkg/: Release, installed into /usr, with Debian's
# hardening flags, without the tests.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
scripts/build.sh build-pkg -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVLBOOT_BUILD_TESTS=OFF -DVLBOOT_PACKAGING=ON \
  "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"

rm -f build-pkg/vlboot_*.deb vlboot_*.deb
(cd build-pkg && cpack -G DEB >/dev/null)
cp build-pkg/vlboot_*.deb .
ls -l vlboot_*.deb
