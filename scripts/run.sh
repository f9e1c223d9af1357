#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it until it is idle.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --parallel "$(nproc)" --target Memorant
# --until-idle: the run shows the library and ends once nothing is left to do.
exec ./build/Memorant "$@"
