#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# each session fuzzer for a bounded time, one after the other.
#   fuzz/run.sh [seconds per target, default 60] [target ...]
# Targets: Mixara Chanweave Lumaguard Tintmap (the default), and the same with _macos.
# Each run starts from a copy of the committed corpus and the past findings' reproducers, so the
# repository is never written; new inputs, the log and any crash reproducer stay in
# build/fuzz/runs/<target>/. Exit status 1 when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(Mixara Chanweave Lumaguard Tintmap)

scripts/deps.sh libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

status=0
for target in "${targets[@]}"; do
  module="${target%_macos}"
  work="build/fuzz/runs/$target"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  for dir in "fuzz/corpus/$module" "fuzz/regressions/$module"; do
    if [ -d "$dir" ]; then cp "$dir"/* "$work/corpus/"; fi
  done
  # A hang is a finding too: no input may take 30 s.
  if build/fuzz/bin/fuzz_"$target" "$work/corpus" -max_total_time="$seconds" -max_len=2048 \
      -timeout=30 -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
      >"$work/log" 2>&1; then
    echo "$target: $(grep -a 'DONE' "$work/log" | tail -1)"
  else
    status=1
    echo "$target: FINDING, reproducer in $work/artifacts/"
    grep -a -v '^#' "$work/log" | tail -40
  fi
done
exit $status
