#!/usr/bin/env bash
# The bash completion of unlha32, called as bash calls it (COMP_WORDS and
# COMP_CWORD set), on a folder with an archive holding names with blanks.
# Usage: completion_test.sh COMPLETION_SCRIPT UNLHA32
set -euo pipefail
script=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
# shellcheck source=tests/packaging/completion_fixture.sh
. "$(dirname "$0")/completion_fixture.sh"
make_completion_fixture "$2"
cp pack.lzh old.LZS

# shellcheck source=/dev/null
source "$script"
complete -p unlha32 | grep -q -- '-F _unlha32' || { echo "FAIL: no completion registered"; exit 1; }
nproc=$(getconf _NPROCESSORS_ONLN)

failures=0
# Each row: the words of the line, "|" between them (the last is the one
# completed), "=>", then the completions expected, sorted, "|" between them.
while IFS= read -r row; do
  [ -z "$row" ] && continue
  IFS='|' read -r -a COMP_WORDS <<< "${row%%=>*}|"
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _unlha32 || true   # (set -e is off where bash completes)
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd'|')
  want=${row#*=>}
  if [ "$got" != "$want" ]; then
    echo "FAIL: [${row%%=>*}] gave [$got], expected [$want]"
    failures=$((failures + 1))
  fi
done <<ROWS
unlha32|=>--help|--version|a|c|d|e|f|l|m|p|t|u|v|x
unlha32|T=>
unlha32|x|-jm=>-jm5|-jm6|-jm7
unlha32|a|--thr=>--threads=
unlha32|a|--threads|=|=>$(seq 1 "$nproc" | sort | paste -sd'|')
unlha32|a|--exclude|=|=>
unlha32|a|--threads|=>$(seq 1 "$nproc" | sort | paste -sd'|')
unlha32|x|--exclude|*.o|pack.lzh|d/a=>d/a.txt
unlha32|x|--exclude|=|*.o|pack.lzh|s=>s\\ p|s\\ p/|s\\ p/a\\ b.txt
unlha32|l|=>d|fifo.lzh|first.LZH.001|old.LZS|out|pack.lzh|s p
unlha32|t|-q|f=>fifo.lzh|first.LZH.001
unlha32|a|n=>notes.txt
unlha32|c|n=>notes.txt
unlha32|f|pack.lzh|n=>notes.txt
unlha32|a|pack.lzh|s=>s p
unlha32|x|pack.lzh|s=>s\\ p|s\\ p/|s\\ p/a\\ b.txt
unlha32|X|-c1|--threads|=|2|pack.lzh|d/s=>d/sub|d/sub/|d/sub/c.txt
unlha32|e|pack.lzh|o=>out/
unlha32|t|pack.lzh|./=>./-c1
unlha32|t|fifo.lzh|=>
unlha32|p|pack.lzh|"s p/a=>s\\ p/a\\ b.txt
unlha32|l|s\ p/../pack.lzh|d/a=>d/a.txt
unlha32|d|pack.lzh|d/b=>d/b\\\\\\[1\\\\\\].txt
unlha32|p|pack.lzh|d/q=>d/q\\\`id\\\`.txt
unlha32|p|pack.lzh|d/p=>d/p\\\$x.txt
unlha32|a|new.lzh|d/|s=>sub/
unlha32|a|new.lzh|d/|a=>a.txt
unlha32|x|pack.lzh|-z=>
unlha32|d|pack.lzh|zzz=>
unlha32|l|missing.lzh|=>
unlha32|l|--|-q=>
ROWS
[ "$failures" -eq 0 ] || exit 1
echo "unlha32 completion: ok"
