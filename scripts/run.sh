#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it: it shows its window in a browser
# until Ctrl-C, or, with --until-idle, prints text frames and ends once it is idle.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/configure.sh build
cmake --build build --parallel "$(nproc)" --target Memorant
exec ./build/Memorant "$@"
