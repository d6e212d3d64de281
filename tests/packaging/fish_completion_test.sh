#!/usr/bin/env bash
# The fish completion of unlha32, asked as fish asks it (complete -C on a
# command line), on a folder with an archive holding names with blanks and
# brackets. Usage: fish_completion_test.sh COMPLETION_SCRIPT UNLHA32
set -euo pipefail
command -v fish >/dev/null || { echo "SKIP: fish is missing"; exit 77; }
script=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
# shellcheck source=tests/packaging/completion_fixture.sh
. "$(dirname "$0")/completion_fixture.sh"
make_completion_fixture "$2"
nproc=$(getconf _NPROCESSORS_ONLN)

failures=0
# Each row: the command line, " => ", then the candidates expected (their
# descriptions left out), sorted, "|" between them.
while IFS= read -r row; do
  [ -z "$row" ] && continue
  line=${row%% => *}
  # shellcheck disable=SC2016  # fish's own $argv, in fish's quotes
  got=$(fish -N -c 'source $argv[1]; complete -C $argv[2]' "$script" "$line" | cut -f1 | sort | paste -sd'|')
  want=${row#* => }
  if [ "$got" != "$want" ]; then
    echo "FAIL: [$line] gave [$got], expected [$want]"
    failures=$((failures + 1))
  fi
done <<ROWS
unlha32  => a|c|d|e|f|l|m|p|t|u|v|x
unlha32 -- => --help|--version
unlha32 x -jm => -jm5|-jm6|-jm7
unlha32 a --threads= => $(seq 1 "$nproc" | sed 's/^/--threads=/' | sort | paste -sd'|')
unlha32 a --threads  => $(seq 1 "$nproc" | sort | paste -sd'|')
unlha32 l  => d/|fifo.lzh|first.LZH.001|out/|pack.lzh|s p/
unlha32 t -q f => fifo.lzh|first.LZH.001
unlha32 a pack.lzh n => notes.txt
unlha32 c pack.lzh s\\ p/ a => a b.txt
unlha32 x pack.lzh s => s p/|s p/a b.txt
unlha32 t pack.lzh d/b => d/b\\[1\\].txt
unlha32 X -c1 --threads 2 -- pack.lzh d/a => d/a.txt
unlha32 e pack.lzh o => out/
unlha32 t pack.lzh ./- => ./-c1
unlha32 t fifo.lzh  => 
unlha32 x --exclude  => 
ROWS
[ "$failures" -eq 0 ]
