#!/usr/bin/env bash
# Every test: installs what is missing, builds and runs ctest; then the Windows build under wine;
# then the release packages are made and tried.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
(cd build && ctest --output-on-failure -j "$(nproc)" -LE fuzz)
bash scripts/test-windows.sh build-windows
bash scripts/package.sh
bash scripts/test-package.sh
