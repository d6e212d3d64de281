#!/usr/bin/env bash
# Splits a 1 GiB file side by side with GNU split (warm cache, median of 7,
# alternating) and compares peak memory with an idle run of the same program.
# Usage: bench/split-bench.sh [BUILD_DIR] [WORK_DIR]   (needs the "time" package)
# WORK_DIR picks the file system measured (e.g. a folder under /dev/shm for
# tmpfs); its 1 GiB source.bin is kept for the next run. Pieces start every
# 1457664 bytes (2847 sectors of 512), so where a file system shares extents
# in 4 KiB blocks only every eighth piece starts on a block and can share them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
work=${2:-$(mktemp -d)}
bench=$build/bench/split_bench
file=$work/source.bin
[ -f "$file" ] || head -c $((1 << 30)) /dev/urandom > "$file"
cat "$file" > /dev/null   # warm the cache

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
gnu_split() {
  local t0 t1
  t0=$(date +%s.%N)
  split -b 1457664 -a 3 -d --numeric-suffixes=1 "$file" "$file."
  t1=$(date +%s.%N)
  rm -f "$file".[0-9]*
  awk -v a="$t0" -v b="$t1" 'BEGIN {print b - a}' 
}

: > "$work/gnu"; : > "$work/plain"; : > "$work/dialog"
# sync before each run, so that no run pays for another's write-back.
for _ in 1 2 3 4 5 6 7; do
  sync; gnu_split >> "$work/gnu"
  sync; "$bench" plain "$file" >> "$work/plain"
  sync; "$bench" dialog "$file" >> "$work/dialog"
done
gnu=$(median < "$work/gnu"); plain=$(median < "$work/plain"); dialog=$(median < "$work/dialog")
printf 'GNU split          %.3f s\n' "$gnu"
printf 'piece writer       %.3f s  (%.2f x GNU split)\n' "$plain" "$(awk -v a="$plain" -v b="$gnu" 'BEGIN {print a / b}')"
printf 'with dialog        %.3f s  (%.2f x GNU split)\n' "$dialog" "$(awk -v a="$dialog" -v b="$gnu" 'BEGIN {print a / b}')"

rss() { /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -1; }
export QT_LOGGING_RULES="*.warning=false"
idle=$(rss "$bench" idle "$file")
plain_rss=$(rss "$bench" plain "$file")
dialog_rss=$(rss "$bench" dialog "$file")
printf 'peak memory: idle %d KiB, plain %d KiB (+%d), dialog %d KiB (+%d); limit +%d KiB\n' \
  "$idle" "$plain_rss" $((plain_rss - idle)) "$dialog_rss" $((dialog_rss - idle)) $((2 * 1457664 / 1024))
