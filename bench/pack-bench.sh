#!/usr/bin/env bash
# Packs the corpus folder tree/ through the archiver (the unlha32 tool runs
# the same code as Unlha) side by side with tar -czf, median of 5,
# alternating; then updates the archive after one file changed, beside a
# plain copy of the archive; then adds a small file to an archive of
# mixed.bin (50 MB kept as it is), beside a plain copy of that archive.
# Usage: bench/pack-bench.sh CORPUS_DIR [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:?usage: pack-bench.sh CORPUS_DIR [BUILD_DIR]}
build=${2:-$root/build/release}
tool=$build/app/unlha32
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -a "$corpus/tree" "$work/tree"
bytes=$(du -sb "$work/tree" | cut -f1)

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f\n", b - a}'; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

: > "$work/lzh"; : > "$work/tar"
for _ in 1 2 3 4 5; do
  rm -f "$work/out.lzh"; t0=$(now)
  "$tool" u -a1 -r2 -x1 -l1 -jp1 -o2 "$work/out.lzh" "$work/tree/" . >/dev/null
  t1=$(now); elapsed "$t0" "$t1" >> "$work/lzh"
  t0=$(now); tar -czf "$work/out.tgz" -C "$work" tree; t1=$(now); elapsed "$t0" "$t1" >> "$work/tar"
done
lzh=$(median < "$work/lzh"); tgz=$(median < "$work/tar")
printf 'tree/: %d bytes in %d files\n' "$bytes" "$(find "$work/tree" -type f | wc -l)"
printf 'Unlha u -lh5-  %s s  %.1f MB/s  archive %d bytes\n' "$lzh" "$(awk -v b="$bytes" -v t="$lzh" 'BEGIN {print b / t / 1e6}')" "$(stat -c %s "$work/out.lzh")"
printf 'tar -czf       %s s  %.1f MB/s  archive %d bytes\n' "$tgz" "$(awk -v b="$bytes" -v t="$tgz" 'BEGIN {print b / t / 1e6}')" "$(stat -c %s "$work/out.tgz")"

# One file changes; the update copies every other member unchanged.
changed=$(find "$work/tree" -type f -name '*.h' | sort | head -1)
echo "// changed" >> "$changed"; touch -d '+1 hour' "$changed"
t0=$(now); "$tool" u -a1 -r2 -x1 "$work/out.lzh" "$work/tree/" . ; t1=$(now)
update=$(elapsed "$t0" "$t1")
t0=$(now); cp "$work/out.lzh" "$work/copy.lzh"; sync -f "$work/copy.lzh"; t1=$(now)
printf 'update after one change %s s; plain copy of the archive %s s\n' "$update" "$(elapsed "$t0" "$t1")"

# A large member kept: the update moves its bytes in the kernel.
"$tool" u -q "$work/big.lzh" "$corpus/" mixed.bin
echo "new" > "$work/new.txt"
: > "$work/add"; : > "$work/cp"
for _ in 1 2 3 4 5; do
  t0=$(now); "$tool" a -q "$work/big.lzh" "$work/" new.txt; t1=$(now); elapsed "$t0" "$t1" >> "$work/add"
  t0=$(now); cp "$work/big.lzh" "$work/copy.lzh"; sync -f "$work/copy.lzh"; t1=$(now); elapsed "$t0" "$t1" >> "$work/cp"
done
printf 'add one file to a %d-byte archive %s s; plain copy of the archive %s s (medians of 5)\n' \
  "$(stat -c %s "$work/big.lzh")" "$(median < "$work/add")" "$(median < "$work/cp")"
