#!/usr/bin/env bash
# Builds Squashslice (installing missing Debian packages first) and starts it.
# Arguments are passed to the program as paths to list.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" "$root/scripts/packages-build.txt"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build/release"
exec "$root/build/release/app/squashslice" "$@"
