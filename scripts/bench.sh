#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs them one after another.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh bench
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRELO_TESTS=ON -DTAVRELO_BENCH=ON
cmake --build build-bench -j "$(nproc)"
for b in build-bench/bench/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$b"
done
