#!/usr/bin/env bash
# Runs the benchmark suite (bench/pipeline_bench.cpp) and writes its tables as markdown to
# build/default/bench.md, headed by the machine it ran on.
#
#   scripts/bench.sh              the whole suite, each benchmark best of 3 repetitions
#   scripts/bench.sh --readme     the same, and the table in README.md replaced by this run's
#   scripts/bench.sh --benchmark_filter=Blending    extra arguments go to Google Benchmark
#
# Benchmarks want a quiet machine: other work running at the same time slows the figures down,
# the all-cores ones most. The header records the load average at the start.
set -euo pipefail
cd "$(dirname "$0")/.."

readme=0
args=()
for arg in "$@"; do
  if [ "$arg" = "--readme" ]; then readme=1; else args+=("$arg"); fi
done

scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tavu_bench_pipeline

out=build/default/bench.md
model=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)
family=$(lscpu | sed -n 's/^CPU family: *//p' | head -n 1)
model_number=$(lscpu | sed -n 's/^Model: *//p' | head -n 1)
cores=$(nproc)
load=$(cut -d ' ' -f 1 /proc/loadavg)
build/default/bin/tavu_bench_pipeline --benchmark_repetitions=3 --table="$out.tables" \
  ${args[@]+"${args[@]}"}
{
  echo "Machine: ${model:-unknown processor} (family ${family:-?}, model ${model_number:-?})," \
       "${cores} cores; $(date -u +%Y-%m-%d); load average" \
       "${load} at the start. Build: default preset (RelWithDebInfo, -O2). Each figure is the" \
       "best of 3 repetitions."
  echo
  cat "$out.tables"
} > "$out"
rm -f "$out.tables"
echo "wrote $out"

if [ "$readme" = 1 ]; then
  # The table sits between these two lines of README.md.
  begin='<!-- bench:begin -->'
  end='<!-- bench:end -->'
  grep -qF "$begin" README.md && grep -qF "$end" README.md || {
    echo "README.md lacks the $begin / $end markers" >&2
    exit 1
  }
  awk -v begin="$begin" -v end="$end" -v table="$out" '
    $0 == begin { print; while ((getline line < table) > 0) print line; skipping = 1; next }
    $0 == end { skipping = 0 }
    !skipping { print }
  ' README.md > README.md.new
  mv README.md.new README.md
  echo "updated README.md"
fi
