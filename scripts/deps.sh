#!/usr/bin/env bash
# Installs the Debian packages named (by default those the build and the tests need) when any is
# missing; says which could not be installed and fails.
set -euo pipefail
packages=("$@")
if [ ${#packages[@]} -eq 0 ]; then
  packages=(g++ cmake ninja-build libgtest-dev libcli11-dev fp-compiler fp-units-rtl qt6-base-dev
    libdtl-dev nlohmann-json3-dev xdg-utils patch)
fi
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
    echo "cannot install ${missing[*]}" >&2
    exit 1
  fi
fi
