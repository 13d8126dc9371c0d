#!/usr/bin/env bash
# Fails when a C++ file of the project differs from what .clang-format makes of it, and
# names the files. Fix with: clang-format -i FILE... (the same Debian clang-format).
set -euo pipefail
ROOT=${1:-$(dirname "$0")/..}
CLANG_FORMAT=${CLANG_FORMAT:-clang-format}
cd "$ROOT"
if [ -d .git ] || git rev-parse --git-dir >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
else
  mapfile -t files < <(find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
bad=()
for f in "${files[@]}"; do
  [ -f "$f" ] || continue
  if ! "$CLANG_FORMAT" --style=file "$f" | cmp -s - "$f"; then
    bad+=("$f")
  fi
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "Not formatted as .clang-format says (${#bad[@]} files):"
  printf '  %s\n' "${bad[@]}"
  echo "Run: clang-format -i <files>"
  exit 1
fi
echo "all ${#files[@]} C++ files formatted"
