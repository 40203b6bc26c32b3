#!/usr/bin/env bash
# Installs a built tree into a temporary DESTDIR under the prefix /usr and
# checks what a desktop needs from it: the executable, a valid menu entry
# naming it and its icon, valid AppStream metadata launching that entry, the
# icon as SVG and as PNG in every size it is installed under, the manual page
# made from the program's own usage text, and Debian's copyright file and
# changelog.
# Usage: check-install.sh <build folder>
set -euo pipefail
build=${1:?usage: check-install.sh <build folder>}
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
root=$dest/usr
entry=$root/share/applications/tavrelo.desktop
metainfo=$root/share/metainfo/io.github.tavrelo.Tavrelo.metainfo.xml

[ -x "$root/bin/tavrelo" ] || fail "no executable $root/bin/tavrelo"
[ -f "$entry" ] || fail "no menu entry $entry"
[ -f "$metainfo" ] || fail "no AppStream metadata $metainfo"

# Both validators print nothing but their verdict when a file is clean.
out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli: $out"
! grep -q '^[EWI]:' <<<"$out" || fail "appstreamcli: $out"

grep -qx 'Exec=tavrelo %f' "$entry" || fail "the menu entry does not start tavrelo with a file"
grep -qx 'Icon=tavrelo' "$entry" || fail "the menu entry does not name the icon tavrelo"
grep -q '<launchable type="desktop-id">tavrelo.desktop</launchable>' "$metainfo" ||
    fail "the metadata does not launch tavrelo.desktop"

icons=$root/share/icons/hicolor
grep -q '<svg' "$icons/scalable/apps/tavrelo.svg" 2>/dev/null || fail "no SVG icon"
for size in 16 32 48 64 128 256; do
    png=$icons/${size}x${size}/apps/tavrelo.png
    [ -f "$png" ] || fail "no ${size}x${size} icon (rendered with rsvg-convert from librsvg2-bin)"
    # A PNG's width and height are the big-endian 32-bit words at bytes 16 and 20.
    read -r w h < <(od -An -tu4 -j16 -N8 --endian=big "$png")
    [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "$png is ${w}x${h}, not ${size}x${size}"
done
man=$root/share/man/man1/tavrelo.1.gz
[ -f "$man" ] || fail "no manual page $man (made with help2man)"
zcat "$man" | grep -q '^Ctrl+S$' || fail "the manual page lacks the keys tavrelo --help lists"
# The keys in a section of their own, not under OPTIONS.
zcat "$man" | grep -q '^\.SH KEYS$' || fail "the manual page has no KEYS section"
doc=$root/share/doc/tavrelo
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    "$doc/copyright" 2>/dev/null || fail "no machine-readable $doc/copyright"
zcat "$doc/changelog.Debian.gz" 2>/dev/null | head -1 | grep -q "^tavrelo ($("$root/bin/tavrelo" --version | cut -d' ' -f2)-" ||
    fail "$doc/changelog.Debian.gz has no entry for this version"
echo "install layout under $dest/usr is complete and valid"
