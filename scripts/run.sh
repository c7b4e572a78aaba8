#!/usr/bin/env bash
# Sets everything up and runs the program. Until the windows exist this is a
# command-line demo on a catalog generated for the purpose.
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
echo
echo "Try: $cli ls --recursive --json $demo/demo.ctf"
