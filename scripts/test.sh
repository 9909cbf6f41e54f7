#!/usr/bin/env bash
# Every test: installs what is missing, builds and runs ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
cd build
ctest --output-on-failure -j "$(nproc)" -LE fuzz
