#!/usr/bin/env bash
# Archive sizes and times against LHa for UNIX's figures in
# ../shared/bench/lha-anchor.tsv: each corpus item on its own and all in one
# archive, at -lh5-, -lh6- and -lh7- (and -jo1 with -lh7-), single thread.
# The anchor gives LHa's time relative to gzip -6, so gzip -6 runs on the
# same input in turn with ours, ROUNDS times (default 5); the time column is
# the median of the rounds' ratios ours / gzip, over LHa's factor, with the
# lowest and highest beside it: on a busy machine the ratio of neighbouring
# runs holds when the speed drifts. Times are processor seconds (user +
# system, to the millisecond). Then the whole corpus with --threads=1 and
# --threads=2 in turn: the same bytes, and the ratio of their clock times;
# -jo1 at the default thread count, by the clock; the peak memory of each
# method at one and two threads; and the decoder and the extraction of
# tree/ against lhasa.
# Usage: [ROUNDS=N] bench/lha-compare.sh CORPUS_DIR [BUILD_DIR] [ANCHOR_TSV]
set -euo pipefail
export LC_ALL=C   # a decimal point in every reading
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:?usage: lha-compare.sh CORPUS_DIR [BUILD_DIR] [ANCHOR_TSV]}
build=${2:-$root/build/release}
anchor=${3:-$root/../shared/bench/lha-anchor.tsv}
rounds=${ROUNDS:-5}
tool=$build/app/unlha32
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
all="man.txt words.txt qt6-headers.h libQt6Widgets.so icons-png.bin mixed.bin tree"
# LHa's time over gzip -6 on this machine kind, by method (from the anchor's notes).
lha_factor() { case $1 in 5) echo 1.1;; 6) echo 1.6;; *) echo 2.1;; esac; }

# shellcheck source=bench/timing.sh
. "$root/bench/timing.sh"
# run OUT_FILE COMMAND...: appends "cpu wall" seconds of one run.
run() {
  local out=$1; shift
  timed "$work/t" "$@" >> "$out"
}
# stats COLUMN A_FILE B_FILE: median, lowest and highest of A/B, round by round.
stats() {
  paste "$1" "$2" | awk -v k="$3" '{print $k / $(k + 2)}' | sort -g |
    awk '{r[NR] = $1} END {print r[int((NR + 1) / 2)], r[1], r[NR]}'
}
median() { awk -v k="$1" '{print $k}' "$2" | sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

names() { if [ "$1" = ALL ]; then echo "$all"; else echo "$1"; fi; }
pack() {   # switches item: one run, the archive in $work/o.lzh
  rm -f "$work/o.lzh"
  # shellcheck disable=SC2046,SC2086
  run "$work/ours" "$tool" u -q -r2 -x1 --threads=1 $1 "$work/o.lzh" "$corpus/" $(names "$2")
}
gzip_run() {
  if [ "$1" = ALL ] || [ "$1" = tree ]; then
    # shellcheck disable=SC2046
    run "$work/gzip" sh -c "cd '$corpus' && tar -cf - $(names "$1") | gzip -6 > /dev/null"
  else
    run "$work/gzip" gzip -6 -c "$corpus/$1"
  fi
}

cat "$corpus"/*.txt "$corpus"/*.h "$corpus"/*.so "$corpus"/*.bin > /dev/null   # warm the cache
printf '%-8s %-17s %10s %10s %7s %7s %7s  %s\n' method item bytes LHa ratio "cpu s" "gzip s" \
  "x LHa time (lowest-highest), $rounds rounds"
for m in 5 6 7 7o; do
  sw="-jm${m%o}"; [ "$m" = 7o ] && sw="-jm7 -jo1"
  for item in man.txt words.txt qt6-headers.h libQt6Widgets.so icons-png.bin mixed.bin tree ALL; do
    : > "$work/ours"; : > "$work/gzip"
    for _ in $(seq "$rounds"); do pack "$sw" "$item"; gzip_run "$item"; done
    bytes=$(stat -c %s "$work/o.lzh")
    lha=$(awk -F'\t' -v i="$item" -v c=$(( ${m%o} - 1 )) '$1 == i {print $c}' "$anchor")
    read -r mid low high < <(stats "$work/ours" "$work/gzip" 1)
    awk -v m="$sw" -v i="$item" -v b="$bytes" -v a="$lha" -v s="$(median 1 "$work/ours")" \
      -v g="$(median 1 "$work/gzip")" -v f="$(lha_factor "${m%o}")" -v r="$mid" -v lo="$low" -v hi="$high" \
      'BEGIN {printf "%-8s %-17s %10d %10d %7.4f %7.2f %7.2f  %.3f (%.2f-%.2f)\n", m, i, b, a, b / a, s, g,
              r / f, lo / f, hi / f}'
  done
done

# Threads: the same archive, and the clock time of two against one.
: > "$work/ours"; : > "$work/one"
for _ in $(seq "$rounds"); do
  rm -f "$work/t1.lzh" "$work/t2.lzh"
  # shellcheck disable=SC2086
  run "$work/one" "$tool" u -q -r2 -x1 --threads=1 "$work/t1.lzh" "$corpus/" $all
  # shellcheck disable=SC2086
  run "$work/ours" "$tool" u -q -r2 -x1 --threads=2 "$work/t2.lzh" "$corpus/" $all
done
read -r mid low high < <(stats "$work/ours" "$work/one" 2)
awk -v a="$(median 2 "$work/one")" -v b="$(median 2 "$work/ours")" -v r="$mid" -v lo="$low" -v hi="$high" \
  'BEGIN {printf "whole corpus, clock: --threads=1 %.2f s, --threads=2 %.2f s; 2 / 1 = %.3f (%.3f-%.3f), %.2f x as fast\n",
          a, b, r, lo, hi, 1 / r}'
cmp -s "$work/t1.lzh" "$work/t2.lzh" && echo "archives of --threads=1 and --threads=2: identical" || echo "archives DIFFER"

# -jo1 as the tool runs by default (one thread per CPU): the clock time to
# the archive, against LHa's (one thread) from gzip -6's clock in turn.
: > "$work/ours"; : > "$work/gzip"
for _ in $(seq "$rounds"); do
  rm -f "$work/o.lzh"
  # shellcheck disable=SC2086
  run "$work/ours" "$tool" u -q -r2 -x1 -jm7 -jo1 "$work/o.lzh" "$corpus/" $all
  gzip_run ALL
done
read -r mid low high < <(stats "$work/ours" "$work/gzip" 2)
awk -v n="$(nproc)" -v a="$(median 2 "$work/ours")" -v f="$(lha_factor 7)" -v r="$mid" -v lo="$low" -v hi="$high" \
  'BEGIN {printf "-jm7 -jo1 whole corpus, %d threads (the default): clock %.2f s, %.3f (%.2f-%.2f) x LHa'"'"'s time\n",
          n, a, r / f, lo / f, hi / f}'

# Peak memory of the whole corpus, by method and thread count.
for n in 1 2; do
  for sw in -jm5 -jm6 -jm7 "-jm7 -jo1"; do
    rm -f "$work/m.lzh"
    # shellcheck disable=SC2086
    /usr/bin/time -f '%M' -o "$work/t" "$tool" u -q -r2 -x1 --threads=$n $sw "$work/m.lzh" "$corpus/" $all > /dev/null
    printf 'peak memory, --threads=%d %-9s %6d KiB\n' "$n" "$sw" "$(cat "$work/t")"
  done
done

# The decoder against lhasa (where it is installed), testing the whole corpus
# packed at -lh7-, in turn, on one thread as lhasa has.
if command -v lhasa > /dev/null; then
  rm -f "$work/d.lzh"
  # shellcheck disable=SC2086
  "$tool" u -q -r2 -x1 -jm7 "$work/d.lzh" "$corpus/" $all > /dev/null
  : > "$work/ours"; : > "$work/lhasa"
  for _ in $(seq "$rounds"); do
    run "$work/ours" "$tool" t --threads=1 "$work/d.lzh"
    run "$work/lhasa" lhasa t "$work/d.lzh"
  done
  read -r mid low high < <(stats "$work/ours" "$work/lhasa" 1)
  awk -v a="$(median 1 "$work/ours")" -v b="$(median 1 "$work/lhasa")" -v r="$mid" -v lo="$low" -v hi="$high" \
    'BEGIN {printf "decoder (t, whole corpus at -lh7-): %.2f s, lhasa %.2f s; %.3f (%.2f-%.2f) of lhasa'"'"'s time\n",
            a, b, r, lo, hi}'

  # Extraction of many small files (tree/ at -lh7-), by the clock, each run
  # into an empty folder.
  rm -f "$work/x.lzh"
  "$tool" u -q -r2 -x1 -jm7 "$work/x.lzh" "$corpus/" tree > /dev/null
  : > "$work/ours"; : > "$work/lhasa"
  for _ in $(seq "$rounds"); do
    rm -rf "$work/xo" && mkdir "$work/xo"
    run "$work/ours" "$tool" x -q "$work/x.lzh" "$work/xo/"
    rm -rf "$work/xo" && mkdir "$work/xo"
    run "$work/lhasa" sh -c "cd '$work/xo' && exec lhasa xq '$work/x.lzh'"
  done
  read -r mid low high < <(stats "$work/ours" "$work/lhasa" 2)
  awk -v a="$(median 2 "$work/ours")" -v b="$(median 2 "$work/lhasa")" -v r="$mid" -v lo="$low" -v hi="$high" \
    'BEGIN {printf "extraction (x, tree/ at -lh7-, clock): %.3f s, lhasa %.3f s; %.3f (%.2f-%.2f) of lhasa'"'"'s time\n",
            a, b, r, lo, hi}'
fi
