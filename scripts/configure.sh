#!/usr/bin/env bash
# Configures a build folder (build/ unless named first) with the options every
# command shares, so that running the program and running the tests reuse each
# other's objects. Further arguments go to CMake as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
[ "$#" -gt 0 ] && shift
cmake -S . -B "$dir" -G Ninja -DMEMORANT_WERROR=ON -DMEMORANT_BUILD_BENCH=ON "$@" >/dev/null
