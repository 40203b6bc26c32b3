#!/usr/bin/env bash
# Runs the built program the way a terminal, the menu entry and a file manager
# start it, and checks what each start answers: its exit status, what it
# prints, and that nothing is created where it must not be (no settings file
# beside the executable, no folder in the home).
# Usage: check-command-line.sh <build folder>
set -euo pipefail
build=${1:?usage: check-command-line.sh <build folder>}
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# A copy of its own: the program keeps its settings beside the executable.
mkdir -p "$work/bin" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cp "$build/tavrelo" "$work/bin/"
# A desktop session has a runtime folder; without one Qt warns on stderr.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} HOME=$work/home XDG_RUNTIME_DIR=$work/runtime
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/tavrelo-test-bus
unset XDG_CONFIG_HOME WAYLAND_DISPLAY

# name | platform (none: no DISPLAY, no QT_QPA_PLATFORM; gone: DISPLAY names
# no server) | arguments | exit status | stdout or stderr | text it contains
rows=(
  "help|none|--help|0|stdout|Usage: tavrelo [OPTION] [MEDIA-FILE]"
  "help lists keys|none|-h|0|stdout|PgUp, PgDn"
  "help lists the timeline key|none|-h|0|stdout|T               show / hide the timeline"
  "version|none|--version|0|stdout|tavrelo "
  "short version|offscreen|-V|0|stdout|tavrelo "
  "no display|none||1|stderr|tavrelo: no X display"
  "no display, file|none|dance.mp4|1|stderr|tavrelo: no X display"
  "no display, option|none|--fullscreen|1|stderr|tavrelo: no X display"
  "display gone|gone|dance.mp4|1|stderr|tavrelo: cannot open the display :2999"
  "unknown option|offscreen|--fullscreen|2|stderr|usage: tavrelo"
  "two files|offscreen|a.mp4 b.mp4|2|stderr|usage: tavrelo"
)
for row in "${rows[@]}"; do
  IFS='|' read -r name platform args want stream text <<<"$row"
  env=(env -u DISPLAY -u QT_QPA_PLATFORM)
  case $platform in
    none) ;;
    gone) env+=(DISPLAY=:2999) ;;
    *) env+=(QT_QPA_PLATFORM="$platform") ;;
  esac
  rc=0
  # shellcheck disable=SC2086 # the arguments are split on purpose
  (cd "$work" && "${env[@]}" "$work/bin/tavrelo" $args >"$work/stdout" 2>"$work/stderr") || rc=$?
  [ "$rc" = "$want" ] || fail "$name: exit status $rc, not $want ($(cat "$work/stderr"))"
  grep -qF -- "$text" "$work/$stream" || fail "$name: $stream lacks '$text': $(cat "$work/$stream")"
  [ "$stream" = stderr ] && [ "$(wc -l <"$work/stderr")" -ne 1 ] &&
    fail "$name: more than one line on stderr: $(cat "$work/stderr")"
  [ -z "$(ls -A "$work/home")" ] || fail "$name: created $(ls -A "$work/home") in the home folder"
  [ "$(ls -A "$work/bin")" = tavrelo ] || fail "$name: created $(ls -A "$work/bin") beside the executable"
done

# A file that does not exist, named by the menu entry or a file manager: the
# player starts and says so (in a message window on a desktop), not a usage
# line and an exit.
(cd "$work" && exec env QT_QPA_PLATFORM=offscreen "$work/bin/tavrelo" "$work/gone.mp4" \
  >"$work/stdout" 2>"$work/stderr") &
pid=$!
for _ in $(seq 600); do
  grep -qF "无法播放 $work/gone.mp4：文件不存在" "$work/stderr" && break
  kill -0 "$pid" 2>/dev/null || fail "missing file: the player ended: $(cat "$work/stderr")"
  sleep 0.1
done
grep -qF "无法播放 $work/gone.mp4：文件不存在" "$work/stderr" ||
  fail "missing file: not reported: $(cat "$work/stderr")"
kill "$pid"
pid=
echo "command line: ${#rows[@]} starts and a missing file answered as expected"
