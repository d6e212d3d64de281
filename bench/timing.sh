# shellcheck shell=bash
# Sourced by the benchmarks: a command timed from the shell itself, with no
# helper process inside the timed span. Processor seconds come from "times"
# (the shell's finished children, to the millisecond, where /usr/bin/time
# gives hundredths: a tenth of a run of 0.1 s), clock seconds from
# EPOCHREALTIME.

# The processor seconds (user + system) of the shell's finished children,
# from the output of "times" on standard input.
children_cpu() { awk 'NR == 2 { for (i = 1; i <= 2; i++) { split($i, t, /[ms]/); s += t[1] * 60 + t[2] } print s }'; }

# timed SCRATCH COMMAND...: runs COMMAND (its output dropped) and prints
# "processor_seconds clock_seconds"; SCRATCH names two files it may write.
timed() {
  local scratch=$1 t0 t1
  shift
  times > "$scratch.0"; t0=$EPOCHREALTIME
  "$@" > /dev/null
  t1=$EPOCHREALTIME; times > "$scratch.1"
  awk -v a="$t0" -v b="$t1" -v c="$(children_cpu < "$scratch.0")" -v d="$(children_cpu < "$scratch.1")" \
    'BEGIN {printf "%.3f %.6f\n", d - c, b - a}'
}
