#!/usr/bin/env bash
# The main job on the bundled example: kymigwiz converts a copy of examples/Orders (project
# mode, backups and log on), then shows the log and what changed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
demo=build/demo
rm -rf "$demo"
mkdir -p "$demo"
cp -r examples/Orders "$demo/"
echo "== kymigwiz replace --project $demo/Orders/Orders.dpr"
build/bin/kymigwiz replace --project "$demo/Orders/Orders.dpr"
echo
echo "== the log ($demo/Orders/Wiz_Log.txt)"
tr -d '\r' < "$demo/Orders/Wiz_Log.txt" | grep -v '^$'
echo
echo "== what changed (binary forms compared as text)"
# Text of a file for the diff: forms through kymigwiz, UTF-16 units decoded, line ends unified.
as_text() {
  case "$1" in
    *.dfm|*.DFM|*.nfm|*.NFM) build/bin/kymigwiz form-to-text "$1" ;;
    *) if [ "$(head -c 2 "$1" | od -An -tx1 | tr -d ' ')" = "fffe" ]; then
         iconv -f UTF-16 -t UTF-8 "$1"
       else
         cat "$1"
       fi ;;
  esac | iconv -f UTF-8 -t UTF-8 -c | tr -d '\r'
}
(cd examples/Orders && find . -type f | sed 's|^\./||' | sort) | while read -r f; do
  if ! cmp -s "examples/Orders/$f" "$demo/Orders/$f"; then
    diff -u --label "examples/Orders/$f" --label "$demo/Orders/$f" \
      <(as_text "examples/Orders/$f") <(as_text "$demo/Orders/$f") || true
  fi
done
echo
echo "Backups and the undo file are in $demo/Orders/RBackup; to give the originals back:"
echo "  build/bin/kymigwiz restore $demo/Orders/RBackup/ROvorad.reu"
