#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --parallel "$(nproc)" --target Memorant
exec ./build/Memorant "$@"
