#!/usr/bin/env bash
# Everything CI checks, from a fresh machine: installs what is missing,
# builds, and runs the whole test suite; builds the Debian package as the
# README's install section does and checks it; builds the Windows programs
# and checks them under Wine; then runs the same suite built
# with AddressSanitizer and UndefinedBehaviorSanitizer, and each fuzzer for a
# bounded time. Any failure or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build.sh build
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300)

# The Debian package: lintian, the desktop entry, the AppStream metadata, and
# the unpacked programs, manual pages and completion.
scripts/package.sh
scripts/check-package.sh

# The Windows build (MinGW-w64 and the shared Qt for Windows), its zip and
# installer, checked under Wine against the simulator.
scripts/wine-checks.sh

# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
# Any report ends the test that made it and fails it; leaks count too, except
# those inside the system libraries listed in lsan.supp.
scripts/build.sh build-asan -DVLBOOT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
suppressions="$PWD/scripts/lsan.supp"
(cd build-asan && QT_QPA_PLATFORM=offscreen \
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  LSAN_OPTIONS=suppressions="$suppressions" \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --output-on-failure -j2 --timeout 300)

# Each fuzzer for a bounded time, on a copy of its seed corpus so that what it
# finds stays out of the repository. A crash, a hang (over 10 s on one input)
# or a sanitizer report fails; the input that caused it is kept in
# build-fuzz/artifacts/.
fuzzers=(fuzz_firmware_line fuzz_settings fuzz_reply_stream)
scripts/build.sh build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DVLBOOT_FUZZ=ON -DVLBOOT_BUILD_TESTS=OFF --target "${fuzzers[@]}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p build-fuzz/artifacts
for f in "${fuzzers[@]}"; do
  cp -r "fuzz/corpus/$f" "$work/$f"
  echo "Fuzzing $f for 30 s"
  if ! build-fuzz/bin/"$f" -max_total_time=30 -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="build-fuzz/artifacts/$f-" "$work/$f" >"$work/$f.log" 2>&1; then
    tail -n 100 "$work/$f.log"
    echo "$f failed" >&2
    exit 1
  fi
  grep -E '^Done [0-9]+ runs' "$work/$f.log" || true
done
