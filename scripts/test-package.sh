#!/usr/bin/env bash
# Checks the release scripts/package.sh made: what each package holds, the zip's kymigwiz.exe
# under wine and the .deb's programs, unpacked into a scratch folder, on the example (replace
# with a shipped rules file, restore), and that both write the same files.
# Usage: scripts/test-package.sh   (after scripts/package.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(migwiz VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name="kymigwiz-${version}-windows-x86_64"
zip="$PWD/dist/$name.zip"
deb="$PWD/dist/kymigwiz_${version}_amd64.deb"
fail() { echo "test-package: $*" >&2; exit 1; }
[ -f "$zip" ] && [ -f "$deb" ] || fail "run scripts/package.sh first ($zip, $deb)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# What each package holds, and nothing else.
diff <(cmake -E tar tf "$zip" | sed 's|/$||' | sort) <(sort <<LIST
$name
$name/README.md
$name/kymigwiz.exe
$name/rules
$name/rules/infopower.json
$name/rules/rxlib.json
LIST
) || fail "the zip holds other files than expected"
diff <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort) <(sort <<LIST
./usr/bin/kymigwiz
./usr/bin/migwiz-ide
./usr/lib/kymigwiz/libKyMigWizard100.so
./usr/share/doc/kymigwiz/README.md
./usr/share/kymigwiz/rules/infopower.json
./usr/share/kymigwiz/rules/rxlib.json
LIST
) || fail "the .deb holds other files than expected"
[ "$(dpkg-deb -f "$deb" Package Version Architecture | tr '\n' ' ')" = \
  "Package: kymigwiz Version: $version Architecture: amd64 " ] || fail "the .deb's control fields"
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "the .deb does not depend on Qt 6 Widgets"

# The .deb unpacked: kymigwiz converts and restores the example with a shipped rules file;
# migwiz-ide answers without a display and finds its plug-in in lib/kymigwiz.
dpkg-deb -x "$deb" "$work/deb"
usr="$work/deb/usr"
[ "$("$usr/bin/kymigwiz" --version)" = "kymigwiz $version" ] || fail "kymigwiz --version"
cp -r examples/Orders "$work/linux"
"$usr/bin/kymigwiz" replace --project "$work/linux/Orders.dpr" \
  --rules "$usr/share/kymigwiz/rules/rxlib.json" | grep -q "performed sucessfully" ||
  fail "the .deb's kymigwiz did not convert the example"
grep -q "Rules file: $usr/share/kymigwiz/rules/rxlib.json" "$work/linux/Wiz_Log.txt" ||
  fail "the .deb's kymigwiz did not apply the shipped rules file"
env -u DISPLAY -u WAYLAND_DISPLAY "$usr/bin/migwiz-ide" --help | grep -q "^usage: migwiz-ide" ||
  fail "migwiz-ide --help"
[ "$(env -u DISPLAY "$usr/bin/migwiz-ide" --version)" = "migwiz-ide $version" ] ||
  fail "migwiz-ide --version"
QT_QPA_PLATFORM=offscreen "$usr/bin/migwiz-ide" --print-state "$work/linux/Orders.dpr" 2>&1 |
  grep -q "menu &Migration Wizard" || fail "the .deb's migwiz-ide did not load its plug-in"

# The zip unpacked and its program run under wine, as a Windows user would.
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine || true)
[ -n "$wine" ] || fail "no wine64 program found"
export WINEPREFIX="${WINEPREFIX:-$PWD/build-windows/wineprefix}" WINEDEBUG=-all \
  WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
trap '"$(dirname "$wine")/wineserver" -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip")
cp -r examples/Orders "$work/windows"
exe="$work/$name/kymigwiz.exe"
win() { printf 'Z:%s' "$1" | tr / '\\'; }
[ "$("$wine" "$exe" --version | tr -d '\r')" = "kymigwiz $version" ] || fail "kymigwiz.exe --version"
"$wine" "$exe" replace --project "$(win "$work/windows/Orders.dpr")" \
  --rules "$(win "$work/$name/rules/rxlib.json")" | grep -q "performed sucessfully" ||
  fail "the zip's kymigwiz.exe did not convert the example"
(cd "$work/linux" && find . -type f ! -path './RBackup/*' ! -name Wiz_Log.txt) |
  while read -r f; do
    cmp -s "$work/linux/$f" "$work/windows/$f" || fail "$f: the zip's and the .deb's programs differ"
  done
"$wine" "$exe" restore "$(win "$work/windows/RBackup/ROvorad.reu")" | grep -q "succefully restored" ||
  fail "the zip's kymigwiz.exe did not restore the example"
"$usr/bin/kymigwiz" restore "$work/linux/RBackup/ROvorad.reu" >/dev/null
for d in linux windows; do
  diff -r -q examples/Orders "$work/$d" -x RBackup -x Wiz_Log.txt >/dev/null ||
    fail "the $d restore is not exact"
done
echo "The packages hold what they should; the .deb's and the zip's kymigwiz convert and restore the example alike"
