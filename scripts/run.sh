#!/usr/bin/env bash
# Sets everything up and runs the program on a catalog generated for the
# purpose: the main window when a display is there ($DISPLAY or
# $WAYLAND_DISPLAY), otherwise a command-line demo on the same catalog.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
quillon_install_deps
quillon_build build

demo=build/demo
mkdir -p "$demo"
if [ ! -f "$demo/demo.ctf" ]; then
  build/tools/quillon-gencatalog --seed 7 --disks 3 --depth 2 --fanout 3 --files 6 "$demo/demo.ctf"
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "== build/src/quillon $demo/demo.ctf"
  exec build/src/quillon "$demo/demo.ctf"
fi

echo "(no display: the command-line demo; with a display this starts the main window)"
cli=build/src/quillon-cli
echo "== quillon-cli info $demo/demo.ctf"
"$cli" info "$demo/demo.ctf"
echo
echo "== quillon-cli ls $demo/demo.ctf"
"$cli" ls "$demo/demo.ctf"
first_disk=$("$cli" ls --json "$demo/demo.ctf" | sed -n 's/.*"kind":"disk".*"name":"\([^"]*\)".*/\1/p' | head -n 1)
if [ -n "$first_disk" ]; then
  echo
  echo "== quillon-cli ls $demo/demo.ctf \"$first_disk\""
  "$cli" ls "$demo/demo.ctf" "$first_disk"
fi
# The disk scan: a generated folder tree (description files, small ZIPs) catalogued as a virtual root.
tree="$demo/tree"
if [ ! -d "$tree" ]; then
  build/tools/quillon-gentree --seed 7 --depth 2 --fanout 2 --files 4 --desc-percent 50 --zip-percent 50 "$tree" >/dev/null
fi
rm -f "$demo/scan.ctf" "$demo/scan.BAK"
echo
echo "== quillon-cli scan --import diz,bbs,ion,comment --name Sample $demo/scan.ctf $tree"
"$cli" scan --import diz,bbs,ion,comment --name Sample "$demo/scan.ctf" "$tree"
echo
echo "== quillon-cli ls --recursive $demo/scan.ctf (first lines)"
"$cli" ls --recursive "$demo/scan.ctf" > "$demo/scan.txt"
head -n 25 "$demo/scan.txt"
echo
echo "Try: $cli ls --recursive --json $demo/demo.ctf"
