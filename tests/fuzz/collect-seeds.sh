#!/bin/sh
# Copies the forms, units and projects of tests/data and examples/ into a flat seed folder.
set -eu
src=$1
out=$2
mkdir -p "$out"
find "$src/tests/data" "$src/examples" -type f | while read -r f; do
  cp "$f" "$out/$(echo "${f#$src/}" | tr '/' '_')"
done
