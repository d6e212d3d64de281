#!/usr/bin/env bash
# Archive sizes and times against LHa for UNIX's figures in
# ../shared/bench/lha-anchor.tsv: each corpus item on its own and all in one
# archive, at -lh5-, -lh6- and -lh7- (and -jo1 with -lh7-), single thread;
# gzip -6 runs on the same input in the same run, since the anchor gives
# LHa's time relative to gzip -6. Times are processor seconds (user + system),
# steadier than the clock on a busy machine. Then the whole corpus with
# --threads=1 and --threads=2: the same bytes, and the clock time of each.
# Usage: bench/lha-compare.sh CORPUS_DIR [BUILD_DIR] [ANCHOR_TSV]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:?usage: lha-compare.sh CORPUS_DIR [BUILD_DIR] [ANCHOR_TSV]}
build=${2:-$root/build/release}
anchor=${3:-$root/../shared/bench/lha-anchor.tsv}
tool=$build/app/unlha32
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
items="man.txt words.txt qt6-headers.h libQt6Widgets.so icons-png.bin mixed.bin tree ALL"
# LHa's time over gzip -6 on this machine kind, by method (from the anchor's notes).
lha_factor() { case $1 in 5) echo 1.1;; 6) echo 1.6;; *) echo 2.1;; esac; }

cpu() { /usr/bin/time -f '%U %S' -o "$work/t" "$@" > /dev/null; awk '{print $1 + $2}' "$work/t"; }
pack() {   # method switches item -> archive bytes and cpu seconds
  local names=$2
  [ "$2" = ALL ] && names="man.txt words.txt qt6-headers.h libQt6Widgets.so icons-png.bin mixed.bin tree"
  rm -f "$work/o.lzh"
  # shellcheck disable=SC2086
  t=$(cpu "$tool" u -q -r2 -x1 --threads=1 $1 "$work/o.lzh" "$corpus/" $names)
  echo "$(stat -c %s "$work/o.lzh") $t"
}
gzip_cpu() {
  if [ "$1" = ALL ]; then cpu sh -c "cd '$corpus' && tar -cf - man.txt words.txt qt6-headers.h libQt6Widgets.so icons-png.bin mixed.bin tree | gzip -6 > /dev/null"
  elif [ "$1" = tree ]; then cpu sh -c "cd '$corpus' && tar -cf - tree | gzip -6 > /dev/null"
  else cpu gzip -6 -c "$corpus/$1"; fi
}

printf '%-8s %-18s %10s %10s %7s %8s %8s %7s\n' method item bytes LHa ratio "cpu s" "gzip s" "x LHa time"
for m in 5 6 7 7o; do
  sw="-jm${m%o}"; [ "$m" = 7o ] && sw="-jm7 -jo1"
  for item in $items; do
    read -r bytes secs < <(pack "$sw" "$item")
    gz=$(gzip_cpu "$item")
    lha=$(awk -F'\t' -v i="$item" -v c=$(( ${m%o} - 1 )) '$1 == i {print $c}' "$anchor")
    awk -v m="$sw" -v i="$item" -v b="$bytes" -v a="$lha" -v s="$secs" -v g="$gz" -v f="$(lha_factor "${m%o}")" \
      'BEGIN {printf "%-8s %-18s %10d %10d %7.4f %8.2f %8.2f %7.2f\n", m, i, b, a, b / a, s, g, s / (g * f)}'
  done
done

# Threads: the same archive, and the clock time of each.
names="man.txt words.txt qt6-headers.h libQt6Widgets.so icons-png.bin mixed.bin tree"
for n in 1 2; do
  rm -f "$work/t$n.lzh"; t0=$(date +%s.%N)
  # shellcheck disable=SC2086
  "$tool" u -q -r2 -x1 --threads=$n "$work/t$n.lzh" "$corpus/" $names > /dev/null
  t1=$(date +%s.%N); awk -v n=$n -v a="$t0" -v b="$t1" 'BEGIN {printf "whole corpus --threads=%d  %.2f s\n", n, b - a}'
done
cmp -s "$work/t1.lzh" "$work/t2.lzh" && echo "archives of --threads=1 and --threads=2: identical" || echo "archives DIFFER"
