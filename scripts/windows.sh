#!/usr/bin/env bash
# The Windows build: cross-compiles vlboot.exe, vlboot-cli.exe and
# vlboot-mkfw.exe with MinGW-w64 and the shared Qt 6.1.2 for Windows
# (../shared/toolchains beside the project), into build-win/, and packs them
# with the DLLs and plugins they need:
#   build-win/vlboot-<version>-win64.zip        unzip anywhere and run
#   build-win/vlboot-<version>-win64-setup.exe  the NSIS installer
# Installs what is missing (Debian's MinGW-w64 compiler, ninja, NSIS, zip).
# Environment: VLBOOT_QT_ARCHIVE=FILE another copy of the Qt archive.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 nsis zip)
scripts/install-packages.sh "${packages[@]}"

# The shared Qt, unpacked once per archive (a stamp names the one unpacked).
archive=${VLBOOT_QT_ARCHIVE:-$root/../shared/toolchains/qt6.1.2-mingw-w64.tar.xz}
[ -f "$archive" ] || { echo "windows.sh: no Qt for Windows at $archive" >&2; exit 1; }
qt=$root/build-win-qt
stamp=$(stat -c '%s %Y' "$archive")
if [ "$(cat "$qt/.archive" 2>/dev/null)" != "$stamp" ]; then
  rm -rf "$qt"
  mkdir -p "$qt"
  tar -xJf "$archive" -C "$qt"
  echo "$stamp" >"$qt/.archive"
fi

build=$root/build-win
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_PREFIX_PATH="$qt/mingw" -DQT_HOST_PATH="$qt/host" \
    -DVLBOOT_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target vlboot vlboot-cli vlboot-mkfw

# --- the package ------------------------------------------------------------
version=$(sed -n 's/.*VersionText = "\(.*\)";/\1/p' "$build/src/app/generated/Version.h")
name=vlboot-$version-win64
stage=$build/package/$name
rm -rf "$build/package"
mkdir -p "$stage/platforms" "$stage/styles"
cp "$build"/bin/vlboot.exe "$build"/bin/vlboot-cli.exe "$build"/bin/vlboot-mkfw.exe "$stage/"
cp "$qt/mingw/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/mingw/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"

# Every DLL the programs and plugins import that is not the system's: from
# the Qt, or the MinGW runtime of Debian's compiler; followed to the end.
dll_dirs=("$qt/mingw/bin" /usr/lib/gcc/x86_64-w64-mingw32/*-posix /usr/x86_64-w64-mingw32/lib)
queue=("$stage"/*.exe "$stage"/platforms/*.dll "$stage"/styles/*.dll)
while [ ${#queue[@]} -gt 0 ]; do
  file=${queue[0]}
  queue=("${queue[@]:1}")
  for dll in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
    [ -f "$stage/$dll" ] && continue
    for dir in "${dll_dirs[@]}"; do
      if [ -f "$dir/$dll" ]; then
        cp "$dir/$dll" "$stage/"
        queue+=("$stage/$dll")
        break
      fi
    done
  done
done
# (the debugging symbols of Debian's runtime and of the Qt build: a third of
# the size)
find "$stage" -name '*.dll' -o -name '*.exe' | xargs x86_64-w64-mingw32-strip --strip-unneeded
cp samples/velmora-sample.ldr "$stage/"
sed "s/@VERSION@/$version/g" packaging/windows/README-Windows.txt | sed 's/$/\r/' >"$stage/README.txt"

rm -f "$build/$name.zip"
(cd "$build/package" && zip -q -r -X "$build/$name.zip" "$name")
echo "Windows package: $build/$name.zip"

makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$build/$name-setup.exe" \
  packaging/windows/vlboot.nsi >/dev/null
echo "Windows installer: $build/$name-setup.exe"
