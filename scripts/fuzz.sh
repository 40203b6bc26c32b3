#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer, in build-fuzz) and runs each for a while on its
# seeds: TAVRELO_FUZZ_SECONDS per target (default 8, about a minute in all).
# Any further arguments go to ctest (e.g. -R fuzz_ini).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${TAVRELO_FUZZ_SECONDS:-8}
build=${TAVRELO_FUZZ_BUILD:-build-fuzz}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTAVRELO_SANITIZE=ON -DTAVRELO_FUZZ=ON -DTAVRELO_FUZZ_SECONDS="$seconds" "${launcher[@]}"
targets=$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
# shellcheck disable=SC2086
cmake --build "$build" -j "$(nproc)" --target $targets
ctest --test-dir "$build" -L fuzz --output-on-failure "$@"
