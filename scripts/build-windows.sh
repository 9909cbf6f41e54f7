#!/usr/bin/env bash
# Cross-builds the engine, kymigwiz.exe and the engine's test programs for 64-bit Windows with
# mingw-w64, installing the toolchain when it is missing.
# Usage: scripts/build-windows.sh [BUILD_DIR] [--release]
# --release builds kymigwiz.exe alone, optimized for speed, as the download ships it.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build-windows}
release=${2:-}
bash scripts/deps.sh g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev \
  cmake ninja-build googletest libcli11-dev libdtl-dev nlohmann-json3-dev ||
  { echo "build-windows: the cross toolchain could not be installed" >&2; exit 1; }
if [ "$release" = "--release" ]; then
  cmake -S . -B "$build_dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DMIGWIZ_TESTS=OFF -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON >/dev/null
  cmake --build "$build_dir" -j "$(nproc)" --target kymigwiz
else
  # -O1 without debug information: the build stays quick and the programs small.
  cmake -S . -B "$build_dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" \
    -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON >/dev/null
  cmake --build "$build_dir" -j "$(nproc)"
fi
echo "Built $build_dir/bin/kymigwiz.exe"
