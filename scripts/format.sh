#!/usr/bin/env bash
# The one code style of every C and C++ file in the tree (.clang-format at
# the root), with Debian's clang-format.
#
#   bash scripts/format.sh           reformat the files in place
#   bash scripts/format.sh --check   list the files that differ and fail
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
mode=fix
case "${1:-}" in
  "") ;;
  --check) mode=check ;;
  -h|--help) sed -n '2,6s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 0 ;;
  *) echo "format.sh: unknown argument '$1'" >&2; exit 2 ;;
esac
bash scripts/deps.sh format
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
if [ "$mode" = fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run --Werror "$f" 2> /dev/null || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  printf 'format.sh: not in the style of .clang-format (bash scripts/format.sh mends them):\n' >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "format.sh: ${#files[@]} files in the one style"
