#!/usr/bin/env bash
# Installs the Debian 12 packages a command needs; safe to run again:
# packages already present are left alone.
#
#   install-deps.sh            building and running the player (run.sh)
#   install-deps.sh test       and the test tools (test.sh, fuzz.sh)
#   install-deps.sh package    and the Debian packaging tools (package.sh)
#   install-deps.sh bench      and the reference players (bench.sh)
#
# Several groups may be named at once: install-deps.sh test package.
set -euo pipefail

# Building: compiler, CMake, Qt 6 (with the keyboard library its CMake files
# look for, which otherwise print "Could NOT find XKB"), GStreamer and libyuv
# headers, Qt's translation
# tools (lupdate, lrelease), the icon renderer,
# the manual page maker (help2man).
# Running: the media framework's plugins the player and the demo clip use,
# the fonts of the window, and Xvfb for the run command's headless demo.
run_packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-dev qt6-translations-l10n qt6-tools-dev qt6-l10n-tools
  qt6-httpserver-dev qt6-websockets-dev libqrencode-dev libglib2.0-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libyuv-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-plugins-ugly gstreamer1.0-libav gstreamer1.0-pulseaudio
  fonts-noto-cjk fonts-liberation
  librsvg2-bin help2man
  xvfb xauth
)

# The tests: clips made with gst-launch-1.0, private X servers (Xvfb; Xorg
# with the dummy driver and xrandr for two monitors), a private system bus
# with logind mocked, the MPRIS client, the browser for the phone page, the
# install-layout validators, a private sound server (PulseAudio with pactl and
# parec) to hear the player through, stress-ng for the busy start among the
# sound server's faults, and clang for the sanitizer and fuzz builds.
test_packages=(
  clang libclang-rt-14-dev clang-format
  gstreamer1.0-tools pulseaudio pulseaudio-utils stress-ng
  x11-xserver-utils xserver-xorg-video-dummy
  dbus python3-dbusmock
  playerctl chromium
  desktop-file-utils appstream
)

# The package: cpack's shlibdeps step (dpkg-shlibdeps, file) and lintian.
package_packages=(dpkg-dev file lintian)

# The benchmarks' reference players (stress-ng, the load beside the soak and
# open runs, comes with the test packages).
bench_packages=(gstreamer1.0-plugins-base-apps mpv vlc)

packages=("${run_packages[@]}")
for group in "$@"; do
  case $group in
    test) packages+=("${test_packages[@]}") ;;
    package) packages+=("${package_packages[@]}") ;;
    bench) packages+=("${test_packages[@]}" "${bench_packages[@]}") ;;
    *) echo "install-deps: unknown group '$group' (test, package, bench)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
