#!/usr/bin/env bash
# Lays out every C and C++ file of the tree by .clang-format, in place.
#
#   scripts/format.sh           format the files
#   scripts/format.sh --check   change nothing; name each file that deviates
#                               and exit 1 if any does
#
# Other versions of clang-format lay the same style out differently, so only
# version 14 is used (scripts/setup.sh installs it); without it the script
# says so and exits 77, which the test suite counts as skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

check=false
case "${1:-}" in
  --check) check=true ;;
  "") ;;
  *) echo "usage: scripts/format.sh [--check]" >&2; exit 2 ;;
esac

formatter=
for candidate in clang-format-14 clang-format; do
  if command -v "$candidate" >/dev/null && "$candidate" --version | grep -q "version 14\."; then
    formatter=$candidate
    break
  fi
done
if [ -z "$formatter" ]; then
  echo "format: clang-format 14 is not installed (scripts/setup.sh installs it); nothing checked" >&2
  exit 77
fi

# The tracked files in a checkout; elsewhere every file outside the build trees.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
else
  mapfile -t files < <(find . -path ./build -prune -o -type f \( -name '*.c' -o -name '*.cc' -o -name '*.cpp' \
                         -o -name '*.h' -o -name '*.hpp' \) -print | sed 's|^\./||' | sort)
fi

if ! $check; then
  printf '%s\0' "${files[@]}" | xargs -0 -n 16 "$formatter" -i --style=file
  echo "format: ${#files[@]} files laid out"
  exit 0
fi

deviating=0
for file in "${files[@]}"; do
  if ! "$formatter" --style=file "$file" | cmp -s - "$file"; then
    echo "format: $file deviates"
    deviating=$((deviating + 1))
  fi
done
if [ "$deviating" -gt 0 ]; then
  echo "format: $deviating of ${#files[@]} files deviate; scripts/format.sh lays them out" >&2
  exit 1
fi
echo "format: all ${#files[@]} files are laid out"
