#!/usr/bin/env bash
# The main job: builds the four modules and tavu-render, draws the sample frames and renders every
# effect at characteristic settings into out/demo/, with out/demo/index.html showing each result
# beside the settings that made it. Usage: scripts/demo.sh [OUTDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tavu-render make_samples

bin=build/default/bin
out="${1:-out/demo}"
samples="$out/samples"
rm -rf "$out"
mkdir -p "$samples" "$out/log"
"$bin/make_samples" "$samples" >/dev/null

# ---- the renders --------------------------------------------------------------------------------
# job SECTION FILE CAPTION ARGS...: one tavu-render run writing $out/SECTION/FILE. The arguments are
# kept shell-quoted so the same words run the render and show in the page.
sections=()
declare -A section_title
J_SECTION=() J_FILE=() J_CAPTION=() J_ARGS=()
section() {
  sections+=("$1")
  section_title[$1]=$2
  mkdir -p "$out/$1"
}
job() {
  local sec=$1 file=$2 caption=$3
  shift 3
  J_SECTION+=("$sec")
  J_FILE+=("$file")
  J_CAPTION+=("$caption")
  J_ARGS+=("$(printf '%q ' "$@" --output "$out/$sec/$file")")
}

pattern="$samples/test_pattern.png"
chart="$samples/colour_chart.png"

section blending "tavu-Blending: the test pattern over the colour chart"
over_chart=(--effect blending --layer "$pattern" --layer2 "$chart")
# Every mode, learned from the module's own parameter list.
mapfile -t modes < <("$bin/tavu-render" --effect blending --list-params |
  sed -n 's/.*"Blending Mode".*choices //p' | sed 's/ | /\n/g' | sed 's/^[0-9]*=//')
if [ "${#modes[@]}" -ne 29 ]; then
  echo "demo: expected 29 blend modes, the module lists ${#modes[@]}" >&2
  exit 1
fi
for i in "${!modes[@]}"; do
  m=${modes[i]}
  job blending "mode_$(printf %02d $((i + 1)))_${m// /_}.png" "$m" \
    "${over_chart[@]}" --set "Blending Mode=$m"
done
job blending intensity_3_overlay.png "Overlay applied 3 times" \
  "${over_chart[@]}" --set "Blending Mode=Overlay" --set "Intensity=3"
job blending output_alpha_multiply.png "Multiply into alpha only" \
  "${over_chart[@]}" --set "Blending Mode=Multiply" --set "Output Channel=Alpha"
job blending mix_50_difference.png "Difference at 50 % mix" \
  "${over_chart[@]}" --set "Blending Mode=Difference" --set "Mix=50"
job blending swapped_subtract.png "Subtract with the inputs swapped" \
  "${over_chart[@]}" --set "Blending Mode=Subtract" --set "Swap Inputs=on"
job blending self_screen.png "Screen over itself (Input 2 left at its default)" \
  --effect blending --layer "$pattern" --set "Blending Mode=Screen"
job blending none_screen.png "Screen with no Input 2" \
  --effect blending --layer "$pattern" --layer2 none --set "Blending Mode=Screen"

section combine "tavu-Combine RGBA: channel routings"
job combine identity.png "Defaults: every channel from itself" \
  --effect combine-rgba --layer "$pattern" --layer2 "$chart"
job combine swap_red_blue.png "Red and blue exchanged" \
  --effect combine-rgba --layer "$pattern" --set "Red Channel=Original Blue" \
  --set "Blue Channel=Original Red"
job combine gray_from_green.png "Green into all three colour channels" \
  --effect combine-rgba --layer "$pattern" --set "Red Channel=Original Green" \
  --set "Blue Channel=Original Green"
job combine matte_from_input2.png "Alpha from Input2 red" \
  --effect combine-rgba --layer "$pattern" --layer2 "$chart" --set "Alpha Channel=Input2 Red"
job combine input2_mix_50.png "Colour from Input2 at 50 % mix" \
  --effect combine-rgba --layer "$pattern" --layer2 "$chart" --set "Red Channel=Input2 Red" \
  --set "Green Channel=Input2 Green" --set "Blue Channel=Input2 Blue" --set "Mix=50"

section brightness "tavu-Brightness Check: highlights red, shadows blue"
job brightness default.png "Default thresholds (1 and 0)" \
  --effect brightness-check --layer "$pattern"
job brightness default_hdr_32.png "Default thresholds on the float pattern (values above 1)" \
  --effect brightness-check --depth 32 --layer "$samples/test_pattern_hdr.exr"
job brightness tight.png "Tight thresholds: highlight 0.6, shadow 0.3" \
  --effect brightness-check --layer "$pattern" --set "Highlight Clamp Value=0.6" \
  --set "Shadow Clamp Value=0.3"
job brightness tight_premiere.png "The same in Premiere Pro, where the sliders run 0..255" \
  --effect brightness-check --host premiere --layer "$pattern" \
  --set "Highlight Clamp Value=153" --set "Shadow Clamp Value=76.5"
job brightness colours_mix_60.png "Green highlights, magenta shadows, 60 % mix" \
  --effect brightness-check --layer "$pattern" --set "Highlight Clamp Value=0.7" \
  --set "Shadow Clamp Value=0.35" --set "Highlight Color=#00FF00" \
  --set "Shadow Color=#FF00FF" --set "Mix=60"

section colorgray "tavu-Color Gray: gray values looked up along a gradient"
for source in Average Luma Lightness; do
  job colorgray "${source,,}_left_right.png" "$source, Left-Right along a horizontal gradient" \
    --effect color-gray --layer "$pattern" --layer2 "$samples/gradient_reference_1920x4.png" \
    --set "Grayscale Source=$source" --set "Color Source Lookup=Left-Right"
  job colorgray "${source,,}_top_bottom.png" "$source, Top-Bottom along a vertical gradient" \
    --effect color-gray --layer "$pattern" --layer2 "$samples/gradient_reference_4x512.png" \
    --set "Grayscale Source=$source" --set "Color Source Lookup=Top-Bottom"
done
job colorgray ramp_luma.png "Gray ramps through the lookup (Luma, Left-Right)" \
  --effect color-gray --layer "$samples/gradient_256x64.png" \
  --layer2 "$samples/gradient_reference_1920x4.png" --set "Grayscale Source=Luma"

section hosts "Hosts, depths and render paths: Overlay over the colour chart"
overlay=(--effect blending --layer2 "$chart" --set "Blending Mode=Overlay")
job hosts ae_8.png "After Effects, 8 bits, render" "${overlay[@]}" --layer "$pattern"
job hosts ae_8_smart.png "After Effects, 8 bits, smart render, one thread" \
  "${overlay[@]}" --layer "$pattern" --smart --threads 1
job hosts ae_16.png "After Effects, 16 bits" \
  "${overlay[@]}" --layer "$samples/test_pattern_16bit.png" --depth 16
job hosts ae_32_smart.png "After Effects, 32-bit float, smart render (shown clipped)" \
  "${overlay[@]}" --layer "$samples/test_pattern_hdr.exr" --depth 32 --smart
job hosts ae_32_smart.exr "After Effects, 32-bit float, smart render, unclipped OpenEXR" \
  "${overlay[@]}" --layer "$samples/test_pattern_hdr.exr" --depth 32 --smart
job hosts premiere_8.png "Premiere Pro, 8-bit BGRA" \
  "${overlay[@]}" --layer "$pattern" --host premiere
job hosts premiere_32.png "Premiere Pro, float BGRA" \
  "${overlay[@]}" --layer "$samples/test_pattern_hdr.exr" --host premiere --depth 32

# ---- run them, as many at once as there are cores ----------------------------------------------
start=${EPOCHREALTIME/./}
cores=$(nproc)
run_one() {
  local i=$1
  eval "local -a args=(${J_ARGS[i]})"
  "$bin/tavu-render" "${args[@]}" >"$out/log/$i.out" 2>"$out/log/$i.err" ||
    echo $? >"$out/log/$i.status"
}
running=0
for i in "${!J_ARGS[@]}"; do
  run_one "$i" &
  if ((++running >= cores)); then
    wait -n
    ((running--))
  fi
done
wait
failed=0
for i in "${!J_ARGS[@]}"; do
  if [ -e "$out/log/$i.status" ]; then
    echo "demo: failed (exit $(cat "$out/log/$i.status")): tavu-render ${J_ARGS[i]}" >&2
    cat "$out/log/$i.err" >&2
    failed=1
  fi
done
[ "$failed" -eq 0 ] || exit 1

# ---- the page ------------------------------------------------------------------------------------
html() { sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g'; }
# The command as a reader would type it from the repository's top directory.
shown() {
  local word line="tavu-render"
  eval "local -a args=($1)"
  for word in "${args[@]}"; do
    if [[ $word =~ ^[A-Za-z0-9_./=#:+-]+$ ]]; then line+=" $word"; else line+=" '$word'"; fi
  done
  printf '%s\n' "$line"
}
# The settings alone: host, depth, path, and every --set.
settings() {
  local host=ae depth=8 path=render set=() n
  eval "local -a args=($1)"
  for ((n = 0; n < ${#args[@]}; n++)); do
    case ${args[n]} in
      --host) host=${args[++n]} ;;
      --depth) depth=${args[++n]} ;;
      --smart) path="smart render" ;;
      --set) set+=("${args[++n]}") ;;
    esac
  done
  printf '%s, %s bits, %s' "$host" "$depth" "$path"
  for n in "${set[@]}"; do printf '; %s' "$n"; done
  printf '\n'
}

{
  cat <<'EOF'
<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>tavu effects: demo renders</title>
<style>
body { font: 14px/1.4 system-ui, sans-serif; margin: 2em; color: #222; }
h2 { margin-top: 2em; border-bottom: 1px solid #ccc; }
.grid { display: flex; flex-wrap: wrap; gap: 1.2em; }
figure { margin: 0; width: 400px; }
/* A checkerboard behind every image, so transparency shows. */
.frame { display: flex; align-items: center; justify-content: center; min-height: 120px;
  background: repeating-conic-gradient(#ddd 0% 25%, #fff 0% 50%) 0 0 / 16px 16px; }
.frame img { max-width: 400px; max-height: 300px; }
figcaption b { display: block; }
figcaption .settings { color: #444; }
figcaption code { display: block; font-size: 11px; color: #666; word-break: break-all; }
</style></head><body>
<h1>tavu effects: demo renders</h1>
<p>Made by <code>scripts/demo.sh</code>: every image below was rendered by
<code>tavu-render</code>, which loads the effect's module and plays the host through the
whole command sequence. Settings read: host, bits per channel, render path, then every
parameter set away from its default.</p>
<h2>Inputs</h2><div class="grid">
EOF
  for f in "$samples"/*; do
    name=$(basename "$f")
    if [[ $name == *.exr ]]; then
      echo "<figure><div class=\"frame\"><a href=\"samples/$name\">$name (OpenEXR)</a></div><figcaption><b>$name</b></figcaption></figure>"
    else
      echo "<figure><div class=\"frame\"><img src=\"samples/$name\" alt=\"$name\"></div><figcaption><b>$name</b></figcaption></figure>"
    fi
  done
  echo "</div>"
  for sec in "${sections[@]}"; do
    echo "<h2>$(html <<<"${section_title[$sec]}")</h2><div class=\"grid\">"
    for i in "${!J_ARGS[@]}"; do
      [ "${J_SECTION[i]}" = "$sec" ] || continue
      file="$sec/${J_FILE[i]}"
      if [[ $file == *.exr ]]; then
        view="<a href=\"$file\">${J_FILE[i]} (OpenEXR, float)</a>"
      else
        view="<img src=\"$file\" alt=\"$(html <<<"${J_CAPTION[i]}")\">"
      fi
      printf '<figure><div class="frame">%s</div><figcaption><b>%s</b><span class="settings">%s</span><code>%s</code></figcaption></figure>\n' \
        "$view" "$(html <<<"${J_CAPTION[i]}")" "$(settings "${J_ARGS[i]}" | html)" \
        "$(shown "${J_ARGS[i]}" | html)"
    done
    echo "</div>"
  done
  echo "</body></html>"
} >"$out/index.html"

rm -rf "$out/log"
elapsed=$(((${EPOCHREALTIME/./} - start) / 1000))
printf 'demo: %d renders in %d.%03d s -> %s/index.html\n' "${#J_ARGS[@]}" $((elapsed / 1000)) \
  $((elapsed % 1000)) "$out"
