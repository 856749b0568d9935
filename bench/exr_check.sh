#!/usr/bin/env bash
# Time of whole tavu-render runs from a SIZE x SIZE (default 4000) float OpenEXR input, ZIP and
# PIZ, against the tavu-render of another build: Combine RGBA at 32 bits on all cores, written as
# a ZIP OpenEXR. Made to compare with the build before the chunk check (12ec279):
#
#   git worktree add /tmp/before 12ec279
#   (cd /tmp/before && cmake --preset default && cmake --build --preset default -t tavu-render)
#   bench/exr_check.sh /tmp/before/build/default/bin [SIZE]
#
# Each pair is timed side by side with hyperfine (a warm-up run, then RUNS runs each, default 7);
# the ratio is of the median times, this build's over the other's. The inputs are
# generated once into build/default/exr_check/. Not a test: run it by hand on a quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."

before=${1:?usage: bench/exr_check.sh OTHER_BIN_DIR [SIZE]}
size=${2:-4000}
runs=${RUNS:-7}
scripts/deps.sh hyperfine
cmake --preset default >/dev/null
cmake --build --preset default --target tavu-render tavu_make_frame >/dev/null

bin=build/default/bin
dir=build/default/exr_check
mkdir -p "$dir"
for compression in zip piz; do
  input="$dir/frame${size}_$compression.exr"
  kind=()  # tavu_make_frame writes ZIP unless asked for PIZ
  [ "$compression" = zip ] || kind=(piz)
  [ -f "$input" ] || "$bin/tavu_make_frame" "$input" "$size" "$size" "${kind[@]}"
done

for compression in zip piz; do
  input="$dir/frame${size}_$compression.exr"
  render=(--effect combine-rgba --depth 32 --layer "$input")
  hyperfine --style basic --warmup 1 --runs "$runs" --export-csv "$dir/times.csv" \
    -n before "$before/tavu-render ${render[*]} --output $dir/before.exr" \
    -n after "$bin/tavu-render ${render[*]} --output $dir/after.exr" >/dev/null
  cmp -s "$dir/before.exr" "$dir/after.exr" || echo "$compression: the outputs differ"
  # CSV columns: command, mean, stddev, median, ...
  awk -F, -v c="$compression" '
    $1 == "before" { b = $4 }
    $1 == "after" { a = $4 }
    END {
      printf "%s: before %.2f s, after %.2f s (medians), after / before %.3f\n", c, b, a, a / b
    }
  ' "$dir/times.csv"
done
rm -f "$dir/before.exr" "$dir/after.exr" "$dir/times.csv"
