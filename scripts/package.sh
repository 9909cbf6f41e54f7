#!/usr/bin/env bash
# The release: dist/kymigwiz-VERSION-windows-x86_64.zip (kymigwiz.exe, the rule files, the
# README) and dist/kymigwiz_VERSION_amd64.deb (kymigwiz, migwiz-ide, the plug-in, the rule files
# and the README under /usr). Builds what it needs, installing the tools with apt-get.
# Usage: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(migwiz VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
bash scripts/deps.sh dpkg-dev file
mkdir -p dist

# The Debian package, from the Linux build; its dependencies are read off the programs.
bash scripts/build.sh
rm -rf build/cpack
(cd build && cpack -G DEB -B "$PWD/cpack" >/dev/null)
mv "build/cpack/kymigwiz_${version}_amd64.deb" dist/
echo "Made dist/kymigwiz_${version}_amd64.deb"

# The Windows zip: one folder, the program linked statically, optimized for speed.
bash scripts/build-windows.sh build-windows-release --release >/dev/null
name="kymigwiz-${version}-windows-x86_64"
stage=build-windows-release/stage
rm -rf "$stage" "dist/$name.zip"
mkdir -p "$stage/$name/rules"
cp build-windows-release/bin/kymigwiz.exe "$stage/$name/"
cp rules/*.json "$stage/$name/rules/"
cp README.md "$stage/$name/"
(cd "$stage" && cmake -E tar cf "../../dist/$name.zip" --format=zip "$name")
echo "Made dist/$name.zip"
