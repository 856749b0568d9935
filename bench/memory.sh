#!/usr/bin/env bash
# Peak memory of tavu-render on large frames: renders an SIZE x SIZE frame (default 8000) at
# every depth of both hosts, from a PNG and from an OpenEXR file into a file of the same type,
# and compares each run's peak resident set (/usr/bin/time -v) with the two worlds the render
# needs, the input layer and the output. Writes the table as markdown to build/default/memory.md.
#
#   bench/memory.sh [SIZE]
#
# The frames (about 1.5 GB at 8000) are generated once into build/default/memory/. PNG inputs are
# 8-bit for 8-bit renders and 16-bit otherwise. The render is Blending at its default setting,
# the layer serving as its own second input, and once more with --layer2 naming the layer's file.
# TAVU_MEMORY_BIN=DIR measures the tavu-render of another build (e.g. a copy of an older one),
# TAVU_MEMORY_TABLE=FILE writes the table elsewhere. Not a test: run it by hand on a machine with
# a few GB free.
set -euo pipefail
cd "$(dirname "$0")/.."

size=${1:-8000}
scripts/deps.sh time
cmake --preset default >/dev/null
cmake --build --preset default --target tavu-render tavu_make_frame >/dev/null

bin=${TAVU_MEMORY_BIN:-build/default/bin}  # another build's tavu-render, to compare
dir=build/default/memory
mkdir -p "$dir"
for frame in "frame${size}_8.png 8" "frame${size}_16.png 16" "frame${size}.exr 32"; do
  set -- $frame
  [ -f "$dir/$1" ] || "$bin/tavu_make_frame" "$dir/$1" "$size" "$size" "$2"
done

out=${TAVU_MEMORY_TABLE:-build/default/memory.md}
{
  echo "Peak resident memory of tavu-render, ${size}x${size} frames" \
    "(MiB; worlds = input world + output world):"
  echo
  echo "| input | host | depth | worlds | peak RSS | peak / worlds |"
  echo "|---|---|---:|---:|---:|---:|"
} >"$out"

run() {  # FORMAT HOST DEPTH [--layer2-itself]
  local format=$1 host=$2 depth=$3 input pixel extra=() note=""
  if [ "$format" = exr ]; then input="$dir/frame${size}.exr"
  elif [ "$depth" = 8 ]; then input="$dir/frame${size}_8.png"
  else input="$dir/frame${size}_16.png"; fi
  case $depth in 8) pixel=4 ;; 16) pixel=8 ;; *) pixel=16 ;; esac
  # Premiere Pro renders a frame on one thread and refuses --threads.
  [ "$host" = premiere ] || extra=(--threads 4)
  if [ "${4:-}" = --layer2-itself ]; then extra+=(--layer2 "$input"); note=", --layer2 the same"; fi
  /usr/bin/time -v -o "$dir/time.$$.txt" "$bin/tavu-render" --effect blending --host "$host" \
    --depth "$depth" --layer "$input" "${extra[@]}" --output "$dir/out.$$.$format" >/dev/null
  local kib worlds
  kib=$(sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p' "$dir/time.$$.txt")
  worlds=$((2 * size * size * pixel))
  awk -v f="$(basename "$input")$note" -v h="$host" -v d="$depth" -v k="$kib" -v w="$worlds" '
  BEGIN {
    printf "| %s | %s | %d | %.0f | %.0f | %.3f |\n", f, h, d, w / 1048576, k / 1024, k * 1024 / w
  }' | tee -a "$out"
}

for format in png exr; do
  for hd in "ae 8" "ae 16" "ae 32" "premiere 8" "premiere 32"; do
    run $format $hd
  done
done
# The second layer named by the layer's own file: the one world serves both.
run png ae 8 --layer2-itself
rm -f "$dir/out.$$.png" "$dir/out.$$.exr" "$dir/time.$$.txt"
echo "written: $out"
