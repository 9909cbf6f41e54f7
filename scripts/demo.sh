#!/usr/bin/env bash
# The main job on the bundled example.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
echo "The command-line host kymigwiz is coming; the engine library and its tests are built in build/."
