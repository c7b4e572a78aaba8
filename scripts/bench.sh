#!/usr/bin/env bash
# Builds the catalog benchmarks in Release (build/bench, with QUILLON_BENCH on)
# and runs them: open time, file-list loading and memory, full-tree load, save,
# the archive kit against unzip and gzip, each archive reader against its
# format's own tools, the disk scan against find, and the item
# list (fill and sort of a 100k-file folder, sorts of a 1M-file folder, the tree
# of a 1M-file catalog), and the search (the item tests, a name search cold and
# warm against grep, duplicates, the found list's fill and sort).
# Generated catalogs go to a temporary folder that is removed at the end,
# unless --workdir names a folder to keep them in (later runs reuse them).
#
#   bash scripts/bench.sh [--large] [--runs N] [--workdir DIR] [--only open|lists|save|archive|rar|scan|list|search|arczoo|lha|arj|cab|modern]
#
# The RAR benchmark times lsar, bsdtar and unar; the ARC and ZOO benchmark
# (arczoo) the system's arc, nomarch and unar, the LHA one lhasa,
# the ARJ one arj, the cabinet one gcab and cabextract, the one of today's
# formats (modern) bsdtar, 7z, xz, zstd and genisoimage; all are installed when missing.
#
# --large adds the 10-million-file catalog: about 1.6 GiB of memory, 2 GB of
# disk in the work folder and a minute or two more.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source scripts/deps.sh

build="${QUILLON_BENCH_BUILD:-$root/build/bench}"
args=()
workdir=""
only=""
while [ $# -gt 0 ]; do
  case "$1" in
    --large) args+=(--large) ;;
    --runs) args+=(--runs "${2:?--runs needs a number}"); shift ;;
    --workdir) workdir="${2:?--workdir needs a folder}"; shift ;;
    --only) only="${2:?--only needs open, lists, save, archive, rar, scan, list, search, arczoo, lha, arj, cab or modern}"; shift ;;
    -h|--help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "bench.sh: unknown option $1 (try --help)" >&2; exit 2 ;;
  esac
  shift
done
case "$only" in ""|open|lists|save|archive|rar|scan|list|search|arczoo|lha|arj|cab|modern) ;; *) echo "bench.sh: --only takes open, lists, save, archive, rar, scan, list, search, arczoo, lha, arj, cab or modern" >&2; exit 2 ;; esac

# The reference tools of the RAR, ARC, ZOO and LHA benchmarks.
QUILLON_PACKAGES+=(unar libarchive-tools arc nomarch lhasa arj)
quillon_install_deps
# The cabinet benchmark writes its cabinets with gcab and compares with cabextract.
for tool in gcab cabextract; do
  if ! command -v "$tool" >/dev/null; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -q && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "$tool"
  fi
done
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BENCH=ON >/dev/null
cmake --build "$build" -j "${QUILLON_JOBS:-$(nproc)}" \
  --target quillon-bench-open quillon-bench-lists quillon-bench-save quillon-bench-archive quillon-bench-rar quillon-bench-scan quillon-bench-list quillon-bench-search \
  quillon-bench-arczoo quillon-bench-lha quillon-bench-arj quillon-bench-cab quillon-bench-modern

if [ -z "$workdir" ]; then
  workdir="$(mktemp -d "${TMPDIR:-/tmp}/quillon-bench.XXXXXX")"
  trap 'rm -rf "$workdir"' EXIT
else
  mkdir -p "$workdir"
  workdir="$(cd "$workdir" && pwd)"
  case "$workdir/" in
    "$root"/*) echo "bench.sh: the work folder must be outside the repository" >&2; exit 2 ;;
  esac
fi

memory="$(free -g | awk '/^Mem:/ {print $2}')"
echo "Quillon catalog benchmarks, $(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores, $memory GiB"
for bench in open lists save archive rar scan list search arczoo lha arj cab modern; do
  if [ -z "$only" ] || [ "$only" = "$bench" ]; then
    "$build/bench/quillon-bench-$bench" --workdir "$workdir" ${args[@]+"${args[@]}"}
  fi
done
