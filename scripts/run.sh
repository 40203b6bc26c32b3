#!/usr/bin/env bash
# Installs what is missing, builds the player (Release) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "tavrelo: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
  echo "tavrelo: start it from a desktop session, or set DISPLAY to a running X server." >&2
  exit 2
fi
exec ./build/tavrelo
