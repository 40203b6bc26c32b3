#!/usr/bin/env bash
# Every text of the program has its English: lupdate, run over the sources
# into a copy of the catalogue, finds no text the catalogue lacks and none
# left unfinished (a text added without updating translations/tavrelo_en.ts);
# every message written in English has its Chinese in tavrelo_zh.ts; and no
# English text of three words or more reaches a user around the catalogue
# (a literal that lupdate does not see and unshown.txt does not list).
# Usage: check-catalogue.sh <source folder> <lupdate>
set -euo pipefail
src=${1:?usage: check-catalogue.sh <source folder> <lupdate>}
lupdate=${2:?usage: check-catalogue.sh <source folder> <lupdate>}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cp "$src/translations/tavrelo_en.ts" "$tmp/tavrelo_en.ts"
"$lupdate" -silent -no-obsolete -locations none -extensions cpp,h "$src/src" -ts "$tmp/tavrelo_en.ts"
if grep -B4 'type="unfinished"' "$tmp/tavrelo_en.ts"; then
  echo "check-catalogue: the texts above have no English; run update_translations and fill them in" >&2
  exit 1
fi
missing=0
while IFS= read -r source; do
  if ! grep -qF "$source" "$src/translations/tavrelo_zh.ts"; then
    echo "check-catalogue: no Chinese in translations/tavrelo_zh.ts for $source" >&2
    missing=1
  fi
done < <(grep -o '<source>[ -~]*[A-Za-z][ -~]*</source>' "$tmp/tavrelo_en.ts" | grep -vx '<source>zh</source>')
[ "$missing" -eq 0 ] || exit 1
here=$(dirname "$0")
grep -o '<source>[^<]*</source>' "$tmp/tavrelo_en.ts" |
  sed 's/<source>//; s/<\/source>//; s/&lt;/</g; s/&gt;/>/g; s/&quot;/"/g; s/&apos;/'"'"'/g; s/&amp;/\&/g' \
  >"$tmp/catalogued.txt"
grep -v '^#' "$here/unshown.txt" >>"$tmp/catalogued.txt"
bypassing=0
while IFS=$'\t' read -r where text; do
  if ! grep -qxF -- "$text" "$tmp/catalogued.txt"; then
    echo "check-catalogue: $where: \"$text\" is shown without the catalogue (translate it, or list it in tests/i18n/unshown.txt if no user sees it)" >&2
    bypassing=1
  fi
done < <(find "$src/src" \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z | xargs -0 perl "$here/literals.pl" |
  awk -F'\t' '$2 ~ /[A-Za-z][A-Za-z]+ [a-z][a-z]+ [a-z][a-z]+/')
[ "$bypassing" -eq 0 ] || exit 1
# The window's Chinese font draws curly quotes a full character wide.
if grep -n '<translation>[^<]*[“”]' "$src/translations/tavrelo_en.ts" >&2; then
  echo "check-catalogue: English texts above quote with “ ”; use plain \"" >&2
  exit 1
fi
echo "check-catalogue: every text has its English, every English message its Chinese"
