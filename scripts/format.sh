#!/usr/bin/env bash
# One clang-format style for every C++ file git knows about (or, outside git, every one found).
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-check}
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
existing=()
for f in "${files[@]}"; do [ -f "$f" ] && existing+=("$f"); done
[ ${#existing[@]} -eq 0 ] && exit 0
if [ "$mode" = fix ]; then
    clang-format -i "${existing[@]}"
else
    clang-format --dry-run --Werror "${existing[@]}"
    echo "clang-format: ${#existing[@]} arquivos conferidos."
fi
