# shellcheck shell=bash
# Sourced by the completion tests: a folder with an archive holding names
# with blanks, brackets, shell characters and a leading dash, a plain file, a
# first piece and a named pipe.
# Usage: make_completion_fixture UNLHA32 (the tool goes first on PATH; the
# caller is left in the new folder, removed when it exits).
make_completion_fixture() {
  PATH=$(cd "$(dirname "$1")" && pwd):$PATH
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  cd "$work" || exit 1
  mkdir -p "s p" d/sub out
  echo one > "s p/a b.txt"
  echo two > d/a.txt
  echo three > d/sub/c.txt
  echo four > 'd/b[1].txt'
  # shellcheck disable=SC2016  # names that hold shell syntax, on purpose
  echo five > 'd/q`id`.txt'
  # shellcheck disable=SC2016
  echo six > 'd/p$x.txt'
  echo seven > ./-c1
  unlha32 a -q -r2 -x1 pack.lzh "s p" d -- -c1
  mkfifo fifo.lzh
  echo plain > notes.txt
  cp pack.lzh first.LZH.001
}
