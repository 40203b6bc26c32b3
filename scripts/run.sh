#!/usr/bin/env bash
# Installs what is missing, builds the player (Release) and starts it.
#
# On a first start (no build/system.INI yet) the player is started on a short
# demo clip made with GStreamer's test sources, with a demo schedule beside
# it and auto-play on, so that a section repeat, the replay notice and the
# loop show within a minute. Without a display the same demo runs headless
# under a private X server: the sections are printed as they play and
# screenshots of both windows are left in build/demo-run/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "tavrelo: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set)."
  echo "tavrelo: running the demo headless instead; start it from a desktop session to use the player."
  # A folder of its own, so that the demo's settings never replace yours.
  run=build/demo-run
  rm -rf "$run"
  mkdir -p "$run"
  cp build/tavrelo "$run/"
  export TAVRELO_DEMO=headless TAVRELO_NO_MESSAGE_BOXES=1
  # A login session has a private runtime folder; without one Qt warns and
  # shares /tmp/runtime-$USER.
  if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    mkdir -m 700 "$run/runtime"
    export XDG_RUNTIME_DIR=$PWD/$run/runtime
  fi
  if command -v xvfb-run >/dev/null 2>&1; then
    exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$run/tavrelo"
  fi
  echo "tavrelo: no Xvfb either; using Qt's offscreen platform."
  QT_QPA_PLATFORM=offscreen exec "$run/tavrelo"
fi

if [ ! -e build/system.INI ]; then
  echo "tavrelo: first start: preparing a demo clip and schedule in build/demo/."
  export TAVRELO_DEMO=1
fi
exec ./build/tavrelo
