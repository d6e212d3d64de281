#!/usr/bin/env bash
# Runs the program from a terminal without any display: a lone --help or
# --version prints on stdout and exits 0; a file named --help is a path; a
# display that cannot be opened ends the program with its reason, status 1,
# not with the toolkit's abort.
# Usage: terminal_test.sh PROGRAM
set -euo pipefail
program=$(readlink -f "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cd "$work"
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$program" "$@" >out 2>err; }

run --help || fail "--help exited with $?: $(cat err)"
grep -q "^Usage: squashslice \[FILE\]\.\.\." out || fail "--help printed: $(cat out)"
[ ! -s err ] || fail "--help wrote to stderr: $(cat err)"
run --version || fail "--version exited with $?"
grep -qx "squashslice [0-9][0-9.]*" out || fail "--version printed: $(cat out)"
env -u DISPLAY "$program" --help >&- 2>/dev/null && fail "--help into a closed stdout reported success"

# With a file of that name, --help is a path to list: the program wants its
# window, so without a display it cannot start, and prints no usage.
touch -- --help
if run --help; then fail "a file named --help was taken for the option"; fi
! grep -q "Usage" out || fail "a file named --help printed the usage"

# No display, or one that no X server answers on: the reason, and status 1.
rm -f -- --help
for display in "" ":4321" "nohost.invalid:0"; do
  status=0
  env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$display" timeout 20 "$program" >out 2>err || status=$?
  [ "$status" -eq 1 ] || fail "DISPLAY='$display' exited with $status: $(cat err)"
  grep -q "^squashslice: .*display" err || fail "DISPLAY='$display' said: $(cat err)"
done
echo "terminal options: ok"
