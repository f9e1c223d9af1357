#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test with CTest.
# MEMORANT_SANITIZE=1 builds and runs under AddressSanitizer and UBSan in build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
if [ "${MEMORANT_SANITIZE:-0}" = 1 ]; then
  dir=build-asan
  extra=(-DMEMORANT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
else
  dir=build
  extra=()
fi
./scripts/configure.sh "$dir" "${extra[@]}"
cmake --build "$dir" --parallel "$(nproc)"
cd "$dir"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure --parallel "$(nproc)" --timeout 300
