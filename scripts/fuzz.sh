#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a fixed time
# over a seed corpus (the shared sample archives, when present).
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
build=$root/build/fuzz
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DSQS_FUZZ_ONLY=ON -DSQS_WERROR=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build"

seeds=$build/seeds
rm -rf "$seeds"; mkdir -p "$seeds/archives" "$seeds/streams" "$seeds/commands" "$seeds/inputs"
printf 'u -a1 -r2 -x1 -l1 -jp1 -o2 /h/out/photo.lzh "/h/My Data/" @/h/t/responce.txt ' > "$seeds/commands/program"
printf '"photo 1.jpg"\r\nnotes.txt\r\n\r\n' > "$seeds/commands/list"
samples=$root/../shared/lzh-samples
if [ -d "$samples" ]; then
  find "$samples" -type f \( -name '*.lzh' -o -name '*.exe' -o -name '*.lzs' \) -size -64k -exec cp {} "$seeds/archives/" \;
fi
# Inputs that once crashed a target stay in the seeds.
cp "$root"/tests/archiver/corpus/* "$seeds/archives/"
# Streams: the data of every -lh5- member of the samples would do; a few
# hand-made prefixes (method byte + size) over the archives' bytes serve too.
for f in "$seeds"/archives/*; do
  [ -f "$f" ] || continue
  { printf '\001\000\020\000'; dd if="$f" bs=1 skip=29 count=4096 status=none; } > "$seeds/streams/$(basename "$f")"
done

# Encoder inputs: three bytes of choices (method, effort, tiling, size told;
# piece size; where the segments meet), then data: text, code, a short
# cycle, noise.
{ printf '\001\002\200'; head -c 3000 "$root/README.md"; } > "$seeds/inputs/text"
{ printf '\046\003\100'; head -c 3000 "$root/archiver/codec/encoder.cpp"; } > "$seeds/inputs/code"
{ printf '\047\004\360'; printf 'abcabcabd\n%.0s' $(seq 150); } > "$seeds/inputs/cycle"
{ printf '\013\000\020'; head -c 500 /dev/urandom; } > "$seeds/inputs/noise"

status=0
for target in decoder_fuzz:streams encoder_fuzz:inputs archive_reader_fuzz:archives command_fuzz:commands; do
  name=${target%%:*}; corpus=$seeds/${target##*:}
  echo "== $name for ${seconds}s"
  if ! "$build/tests/fuzz/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/$name-" "$corpus" \
      > "$build/$name.log" 2>&1; then
    tail -40 "$build/$name.log"; status=1
  else
    grep -E "stat::number_of_executed_units|Done" "$build/$name.log" | tail -2
  fi
done
exit $status
