#!/usr/bin/env bash
# Cross-builds the engine, kymigwiz.exe and the engine's test programs for 64-bit Windows with
# mingw-w64, installing the toolchain when it is missing. Usage: scripts/build-windows.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build-windows}
packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev cmake
  ninja-build googletest libcli11-dev libdtl-dev nlohmann-json3-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  if ! { $SUDO apt-get update -qq &&
         DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
           "${missing[@]}"; }; then
    echo "build-windows: cannot install the cross toolchain (${missing[*]})" >&2
    exit 1
  fi
fi
# -O1 without debug information: the build stays quick and the programs small.
cmake -S . -B "$build_dir" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" \
  -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
echo "Built $build_dir/bin/kymigwiz.exe"
