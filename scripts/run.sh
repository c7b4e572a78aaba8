#!/usr/bin/env bash
# Sets everything up and runs the program on a demo catalog: three generated
# disks beside a real one, the documentation folder every Linux system has
# (/usr/share/doc: thousands of files, its .gz archives listed as folders),
# catalogued through quillon-cli scan. The main window when a display is
# there ($DISPLAY or $WAYLAND_DISPLAY), otherwise a command-line demo on the
# same catalog.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
quillon_install_deps
quillon_build build

demo=build/demo
cli=build/src/quillon-cli
mkdir -p "$demo"
if [ ! -f "$demo/demo.ctf" ]; then
  build/tools/quillon-gencatalog --seed 7 --disks 3 --depth 2 --fanout 3 --files 6 "$demo/demo.ctf"
fi

# The real disk, once. Where the documentation folder is missing or nearly
# empty (a trimmed container), a generated folder tree stands in for it.
real_disk="Documentation"
case "$("$cli" ls --json "$demo/demo.ctf" || true)" in
  *"\"name\":\"$real_disk\""*) ;;
  *)
    docs=/usr/share/doc
    files=0
    if [ -d "$docs" ]; then
      files=$(find "$docs" -maxdepth 2 -type f 2>/dev/null | wc -l || true)
    fi
    if [ "$files" -lt 100 ]; then
      docs="$demo/doc-tree"
      rm -rf "$docs"
      build/tools/quillon-gentree --seed 11 --depth 3 --fanout 4 --files 12 --desc-percent 30 --zip-percent 20 \
        "$docs" >/dev/null
    fi
    echo "== quillon-cli scan --archives --name $real_disk $demo/demo.ctf $docs"
    if ! "$cli" scan --archives --import diz,bbs,ion,comment --name "$real_disk" "$demo/demo.ctf" "$docs" >/dev/null; then
      echo "(could not catalogue $docs; the demo shows the generated disks)"
    fi
    ;;
esac

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "== build/src/quillon $demo/demo.ctf"
  exec build/src/quillon "$demo/demo.ctf"
fi

echo "(no display: the command-line demo; with a display this starts the main window)"
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
