#!/usr/bin/env bash
# The main job: builds the four modules and runs each through the simulated host.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
for m in Mixara Chanweave Lumaguard Tintmap; do
  build/default/bin/tavu-describe "build/default/bin/$m.so"
done
