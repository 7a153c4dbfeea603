#!/usr/bin/env bash
# Checks that every C++ file of the repository is formatted as .clang-format says (clang-format 14,
# Debian 12). Prints the files that are not; `git ls-files '*.cpp' '*.h' | xargs clang-format -i` mends them.
set -euo pipefail
cd "$(dirname "$0")/.."
unformatted=()
while IFS= read -r file; do
  clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done < <(git ls-files '*.cpp' '*.h')
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "Format: these files differ from .clang-format (run clang-format -i on them):"
  printf '  %s\n' "${unformatted[@]}"
  exit 1
fi
echo "Format: clean"
