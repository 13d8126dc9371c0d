#!/usr/bin/env bash
# Fails when a translatable text in the sources has no finished Chinese translation:
# runs lupdate over the sources into a copy of ch.ts and lists what it left unfinished.
set -euo pipefail
ROOT=${1:-$(dirname "$0")/..}
LUPDATE=${LUPDATE:-/usr/lib/qt5/bin/lupdate}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cp "$ROOT/translations/ch.ts" "$tmp/ch.ts"
(cd "$ROOT" && "$LUPDATE" -silent -locations none -no-obsolete src -ts "$tmp/ch.ts")
missing=$(grep -B2 -E '<translation type="unfinished"( /)?>(</translation>)?' "$tmp/ch.ts" | grep '<source>' || true)
empty=$(grep -B1 -E '<translation></translation>|<translation/>' "$tmp/ch.ts" | grep '<source>' || true)
if [ -n "$missing$empty" ]; then
  echo "Texts without a finished Chinese translation in translations/ch.ts:"
  printf '%s\n%s\n' "$missing" "$empty" | sed '/^$/d'
  echo "Run scripts/update-translations.sh and translate them."
  exit 1
fi
echo "all $(grep -c '<source>' "$tmp/ch.ts") texts translated"
