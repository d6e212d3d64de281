#!/usr/bin/env bash
# Splits a 1 GiB file side by side with GNU split (warm cache, 7 rounds, in
# turn; wall time and, steadier on a busy machine, processor time). Each
# ratio is the median of the rounds' own ratios to GNU split, with the
# lowest and highest: on a machine whose speed drifts, neighbouring runs
# compare better than medians taken apart. "floor" writes the same pieces
# from one piece held in memory (in the processor's cache) on one core: the
# target's page allocation and one copy alone. On tmpfs the piece writer
# reaches it by making the next piece's pages ready on a second core. Then
# peak memory against an idle run of the same program.
# Usage: bench/split-bench.sh [BUILD_DIR] [WORK_DIR]   (needs the "time" package)
# WORK_DIR picks the file system measured (e.g. a folder under /dev/shm for
# tmpfs); its 1 GiB source.bin is kept for the next run. Pieces start every
# 1457664 bytes (2847 sectors of 512), so where a file system shares extents
# in 4 KiB blocks only every eighth piece starts on a block and can share them.
set -euo pipefail
export LC_ALL=C   # a decimal point in every clock reading
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
work=${2:-$(mktemp -d)}
bench=$build/bench/split_bench
file=$work/source.bin
[ -f "$file" ] || head -c $((1 << 30)) /dev/urandom > "$file"
cat "$file" > /dev/null   # warm the cache

# median COLUMN: of the runs' lines "wall_seconds cpu_seconds".
median() { awk -v k="$1" '{print $k}' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# shellcheck source=bench/timing.sh
. "$root/bench/timing.sh"
gnu_split() {   # "wall cpu", as split_bench prints them
  timed "$work/times" split -b 1457664 -a 3 -d --numeric-suffixes=1 "$file" "$file." | awk '{print $2, $1}'
  rm -f "$file".[0-9]*
}

: > "$work/gnu"; : > "$work/plain"; : > "$work/dialog"; : > "$work/floor"
# sync before each run, so that no run pays for another's write-back.
for _ in 1 2 3 4 5 6 7; do
  sync; gnu_split >> "$work/gnu"
  for mode in plain dialog floor; do
    sync; "$bench" "$mode" "$file" >> "$work/$mode"
  done
done
# paired COLUMN FILE: median, lowest and highest of FILE / GNU split, round by round.
paired() {
  paste "$2" "$work/gnu" | awk -v k="$1" '{print $k / $(k + 2)}' | sort -g |
    awk '{r[NR] = $1} END {printf "%.2f x GNU split (%.2f-%.2f)", r[int((NR + 1) / 2)], r[1], r[NR]}'
}
printf 'GNU split          %.3f s  (processor %.3f s)\n' "$(median 1 < "$work/gnu")" "$(median 2 < "$work/gnu")"
for mode in plain dialog floor; do
  case $mode in plain) label='piece writer';; dialog) label='with dialog';; *) label='floor (memory)';; esac
  printf '%-18s %.3f s  %s; processor %.3f s, %s\n' "$label" "$(median 1 < "$work/$mode")" \
    "$(paired 1 "$work/$mode")" "$(median 2 < "$work/$mode")" "$(paired 2 "$work/$mode")"
done

rss() { /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -1; }
export QT_LOGGING_RULES="*.warning=false"
idle=$(rss "$bench" idle "$file")
plain_rss=$(rss "$bench" plain "$file")
dialog_rss=$(rss "$bench" dialog "$file")
printf 'peak memory: idle %d KiB, plain %d KiB (+%d), dialog %d KiB (+%d); limit +%d KiB\n' \
  "$idle" "$plain_rss" $((plain_rss - idle)) "$dialog_rss" $((dialog_rss - idle)) $((2 * 1457664 / 1024))
