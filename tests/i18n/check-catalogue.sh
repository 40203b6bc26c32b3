#!/usr/bin/env bash
# Every text of the program has its English: lupdate, run over the sources
# into a copy of the catalogue, finds no text the catalogue lacks and none
# left unfinished (a text added without updating translations/tavrelo_en.ts).
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
echo "check-catalogue: every text has its English"
