#!/usr/bin/env bash
# Builds the Windows programs (scripts/build-windows.sh) and runs the engine's suites and the
# end-to-end tests of kymigwiz.exe under wine, then converts the example in a folder named
# beyond ASCII with kymigwiz.exe and with the Linux kymigwiz and compares the results.
# Usage: scripts/test-windows.sh [BUILD_DIR]   (default build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build-windows}
linux_kymigwiz=${LINUX_KYMIGWIZ:-build/bin/kymigwiz}

bash scripts/deps.sh wine64 ||
  { echo "test-windows: wine64 could not be installed; the Windows tests did not run" >&2; exit 1; }
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine || true)
if [ -z "$wine" ] || [ ! -x "$wine" ]; then
  echo "test-windows: no wine64 program found; the Windows tests did not run" >&2
  exit 1
fi

bash scripts/build-windows.sh "$build_dir"
build_dir=$(cd "$build_dir" && pwd)
export WINEPREFIX="$build_dir/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The prefix is made once; later runs start at once.
"$wine" cmd /c exit 0 >/dev/null 2>&1 || true
trap '"$(dirname "$wine")/wineserver" -k >/dev/null 2>&1 || true' EXIT

ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"

# The acceptance run: a project below Z:\...\Заказы, converted, compared, restored.
exe="$build_dir/bin/kymigwiz.exe"
work="$build_dir/acceptance"
rm -rf "$work" && mkdir -p "$work/Заказы" "$work/linux"
cp -r examples/Orders "$work/Заказы/Orders"
cp -r examples/Orders "$work/linux/Orders"
win_dir="Z:$(printf '%s' "$work/Заказы/Orders" | tr / '\\')"
"$wine" "$exe" replace --project "$win_dir\\Orders.dpr" > "$work/replace.out"
grep -q "Replace procedure was performed sucessfully." "$work/replace.out"
undo="$work/Заказы/Orders/RBackup/ROvorad.reu"
grep -qF "$win_dir\\DataMod.pas=$win_dir\\RBackup\\DataMod.~pas"$'\r' "$undo"
if grep -qv $'\r$' "$undo"; then echo "test-windows: undo file lines without CR LF" >&2; exit 1; fi
grep -qF "Processing file: $win_dir\\DataMod.pas"$'\r' "$work/Заказы/Orders/Wiz_Log.txt"
if [ -x "$linux_kymigwiz" ]; then
  "$linux_kymigwiz" replace --project "$work/linux/Orders/Orders.dpr" >/dev/null
  (cd "$work/linux/Orders" && find . -type f ! -path './RBackup/*' ! -name Wiz_Log.txt) |
    while read -r f; do
      cmp "$work/linux/Orders/$f" "$work/Заказы/Orders/$f" ||
        { echo "test-windows: $f differs from the Linux build's" >&2; exit 1; }
    done
  echo "kymigwiz.exe converted every file byte for byte as the Linux kymigwiz does"
else
  echo "test-windows: $linux_kymigwiz not built, the comparison with Linux is left out"
fi
"$wine" "$exe" form-to-text "$win_dir\\DataMod.dfm" | head -1 | grep -q "^object OrdersData: TOrdersData"
"$wine" "$exe" restore "$win_dir\\RBackup\\ROvorad.reu" | grep -q "Files were succefully restored."
diff -r examples/Orders "$work/Заказы/Orders" -x RBackup -x Wiz_Log.txt
echo "Acceptance run under wine passed: replace, undo file, log, form-to-text, restore"
