#!/usr/bin/env bash
# Installs what is missing, builds the player (Release) and makes a Debian
# package of it: build/tavrelo_<version>_amd64.deb. Its dependencies come from
# the linked libraries (dpkg-shlibdeps) plus the media framework's plugin
# packages named in CMakeLists.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh package
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRELO_SANITIZE=OFF
cmake --build build -j "$(nproc)"
cd build
cpack -G DEB
ls -1 "$PWD"/tavrelo_*.deb
