#!/usr/bin/env bash
# The codec on the benchmark corpus, each file on its own, side by side with
# gzip -6 in the same run; then the peak memory of packing the largest file
# with the unlha32 tool (the archive is streamed, so it should not grow with
# the file). Usage: bench/lzh-bench.sh CORPUS_DIR [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:?usage: lzh-bench.sh CORPUS_DIR [BUILD_DIR]}
build=${2:-$root/build/release}
files=()
for f in man.txt words.txt qt6-headers.h libQt6Widgets.so icons-png.bin mixed.bin; do files+=("$corpus/$f"); done
cat "${files[@]}" > /dev/null   # warm the cache

"$build/bench/lzh_bench" "${files[@]}"
t0=$(date +%s.%N); gz=0
for f in "${files[@]}"; do gz=$((gz + $(gzip -6 -c "$f" | wc -c))); done
t1=$(date +%s.%N)
in=$(cat "${files[@]}" | wc -c)
awk -v i="$in" -v o="$gz" -v a="$t0" -v b="$t1" \
  'BEGIN {printf "gzip -6 total %d -> %d  %.2f %%  %.1f MB/s  %.2f s\n", i, o, 100 * o / i, i / (b - a) / 1e6, b - a}'

work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
for m in 5 7; do
  /usr/bin/time -f "peak memory packing mixed.bin with -jm$m: %M KiB" \
    "$build/app/unlha32" u -jm$m "$work/m$m.lzh" "$corpus/" mixed.bin > /dev/null
done
