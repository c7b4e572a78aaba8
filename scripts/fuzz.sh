#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz and runs each for a
# bounded time (FUZZ_SECONDS, 30 by default): the catalog reader on the
# committed seed catalogs plus freshly generated ones, the archive lister and
# the extractors on the corpus archives (when present) and the committed
# archive seeds; then the ARC and ZOO targets on their corpus files for
# FUZZ_ARCHIVE_SECONDS each (15 by default). Crash inputs land in
# build/fuzz/artifacts; the run fails when the fuzzer finds one.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build/fuzz}"
seconds="${FUZZ_SECONDS:-30}"

for tool in clang clang++ cmake ninja; do
  if ! command -v "$tool" >/dev/null; then
    echo "fuzz.sh: $tool is missing (apt-get install clang cmake ninja-build)" >&2
    exit 1
  fi
done

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_FUZZ=ON -DQUILLON_CORE_ONLY=ON >/dev/null
# The archive formats with a target of their own (fuzz/<format>Fuzz.cpp, <format>_fuzz).
formats="rar arc zoo lha arj cab ha bh modern"
format_targets=""
for format in $formats; do format_targets+=" ${format}_fuzz"; done
ninja -C "$build" -j2 catalog_fuzz archive_fuzz extract_fuzz $format_targets quillon-fuzz-seeds

corpus="$build/corpus"
artifacts="$build/artifacts"
mkdir -p "$corpus" "$artifacts"
cp "$root"/fuzz/seeds/*.ctf "$corpus"/
"$build/fuzz/quillon-fuzz-seeds" "$corpus"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
"$build/fuzz/catalog_fuzz" -max_total_time="$seconds" -max_len=65536 -timeout=20 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus"

# The archive corpus, looked up as the tests do: QUILLON_TESTDATA, else the
# shared test data beside the source tree (README.md says where it comes from).
# Without it the archive targets start from the committed seeds alone.
testdata="${QUILLON_TESTDATA:-$root/../shared/testdata}"
archives=""
if [ -f "$testdata/archives/index.json" ]; then
  archives="$testdata/archives"
else
  echo "fuzz.sh: archive corpus not found at $testdata; the archive targets start from fuzz/seeds/archives only" >&2
fi

# Listing: every archive of the corpus plus the committed seeds.
mkdir -p "$build/archive_corpus"
if [ -n "$archives" ]; then
  cp "$archives"/*/*.{zip,ZIP,sfx,exe,tar,gz,tgz,Z,z,arj,lzh,arc,zoo,cab,rar,ha} "$build/archive_corpus"/ 2>/dev/null || true
fi
cp "$root"/fuzz/seeds/archives/* "$build/archive_corpus"/
"$build/fuzz/archive_fuzz" -max_total_time="$seconds" -max_len=65536 -timeout=20 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$artifacts/" "$build/archive_corpus"
# Extraction: the ZIP, TAR and GZip files of the corpus as seeds; the target
# extracts into its own scratch folders (in /dev/shm, else TMPDIR) and removes them.
mkdir -p "$build/extract_corpus"
if [ -n "$archives" ]; then
  cp "$archives"/{zip,tar,gz}/*.{zip,ZIP,sfx,exe,tar,gz,tgz} "$build/extract_corpus"/ 2>/dev/null || true
fi
cp "$root"/fuzz/seeds/archives/* "$build/extract_corpus"/
"$build/fuzz/extract_fuzz" -max_total_time="$seconds" -max_len=65536 -timeout=20 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$artifacts/" "$build/extract_corpus"

# The formats' own targets, each on its family's corpus files (volume sets and
# self-extractors included), for FUZZ_ARCHIVE_SECONDS (15 by default) each.
format_seconds="${FUZZ_ARCHIVE_SECONDS:-15}"
# The formats read through libarchive have no corpus folder: their seeds are made here
# by the system's archivers from a small tree (each skipped when its tool is missing).
modern_seeds="$build/modern_corpus"
mkdir -p "$modern_seeds/tree/sub"
printf 'hello\n' > "$modern_seeds/tree/a.txt"
printf 'Read me first.\n' > "$modern_seeds/tree/sub/ReadMe.TXT"
(cd "$modern_seeds/tree" && {
  tar -cJf ../seed.tar.xz a.txt sub 2>/dev/null
  tar -cjf ../seed.tar.bz2 a.txt sub 2>/dev/null
  tar --zstd -cf ../seed.tar.zst a.txt sub 2>/dev/null
  tar -czf ../seed.tgz a.txt sub 2>/dev/null
  xz -c a.txt > ../seed.xz 2>/dev/null
  7z a -bd ../seed.7z a.txt sub >/dev/null 2>&1
  genisoimage -quiet -J -R -o ../seed.iso . 2>/dev/null
} || true)
rm -rf "$modern_seeds/tree"
for format in $formats; do
  mkdir -p "$build/${format}_corpus"
  if [ -n "$archives" ] && [ -d "$archives/$format" ]; then
    find "$archives/$format" -type f ! -name '*.jsonl' -size -200k -exec cp {} "$build/${format}_corpus"/ \;
  fi
  "$build/fuzz/${format}_fuzz" -max_total_time="$format_seconds" -max_len=65536 -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$build/${format}_corpus"
done
