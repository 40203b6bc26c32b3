#!/usr/bin/env bash
# Installs what is missing, builds the program and its tests with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs the whole suite
# headless (each test uses Qt's offscreen platform or starts its own Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
build=${TAVRELO_TEST_BUILD:-build-test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVRELO_SANITIZE=ON -DTAVRELO_TESTS=ON
cmake --build "$build" -j "$(nproc)"
(cd "$build" && ctest --output-on-failure -j 2 "$@")
# A short run of each fuzz target, when clang is there to build them.
if command -v clang++ >/dev/null && [ -z "${TAVRELO_NO_FUZZ:-}" ]; then
  bash scripts/fuzz.sh
fi
