#!/usr/bin/env bash
# Builds every target twice, warnings as errors, once plain and once under
# AddressSanitizer + UndefinedBehaviorSanitizer, and runs every test in both.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" "$root/scripts/packages-build.txt" "$root/scripts/packages-test.txt"
"$root/scripts/japanese-locale.sh"
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

build_and_test() {
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja -DSQS_WERROR=ON -DSQS_WINEPREFIX="$root/build/wineprefix" "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600
}

build_and_test "$root/build/ci" -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  build_and_test "$root/build/sanitize" -DCMAKE_BUILD_TYPE=Debug -DSQS_SANITIZE=ON

# The decoder and the archive reader under libFuzzer, a fixed time each.
"$root/scripts/fuzz.sh" 30
