#!/usr/bin/env bash
# Every text of the program has its English: lupdate, run over the sources
# into a copy of the catalogue, finds no text the catalogue lacks and none
# left unfinished (a text added without updating translations/tavrelo_en.ts);
# and every message written in English has its Chinese in tavrelo_zh.ts.
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
echo "check-catalogue: every text has its English, every English message its Chinese"
