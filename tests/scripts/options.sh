#!/usr/bin/env bash
# The build scripts' command lines (scripts/lib.sh), all answered before any
# package is installed or anything is built:
#   options.sh SOURCE_TREE
set -u
root=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
die() { echo "FAIL: $*" >&2; exit 1; }

# Every script's --help is the comment block at its top, and a wrong option
# gets one line naming the script and the option, exit code 1.
for script in arm bench fuzz install package picture_sources run test web windows; do
  out=$(bash "$root/scripts/$script.sh" --help) || die "$script.sh --help failed"
  grep -q "bash scripts/$script.sh" <<<"$out" || die "$script.sh --help does not show its usage: $out"
  grep -q '^#\|set -euo' <<<"$out" && die "$script.sh --help shows more than its comment: $out"
  bads=("--bogus" "--jobs" "--jobs 0" "--jobs two")
  [ $script = web ] && bads+=("--port 65536" "--port 99999999999999999999" "--check" "--check a --bench b")
  for bad in "${bads[@]}"; do
    # shellcheck disable=SC2086 # the cases are words on purpose
    bash "$root/scripts/$script.sh" $bad > /dev/null 2> "$scratch/err" && die "$script.sh $bad was accepted"
    [ $? = 1 ] && [ "$(wc -l < "$scratch/err")" = 1 ] && grep -q "^$script.sh: .*--" "$scratch/err" \
      || die "$script.sh $bad: not one line with exit code 1: $(cat "$scratch/err")"
  done
done

# What the options set: paths kept absolute (from where the script was
# started), flags, --jobs, and the arguments a script accepts up to its limit.
cat > "$scratch/try.sh" <<'SCRIPT'
. "$LIB"
dir=default flag=0
path_options=([--dir]=dir)
flag_options=([--flag]=flag)
number_options=([--count]=count)
max_arguments=2
parse_options "$@"
echo "$dir|$flag|$jobs|${count:-}|${arguments[*]}"
SCRIPT
mkdir "$scratch/here" && cd "$scratch/here" || exit 2
export LIB=$root/scripts/lib.sh
out=$(bash "$scratch/try.sh" --dir 'a b/../c' one --flag --jobs 3 --count 12 two) || die "valid options refused"
[ "$out" = "$scratch/here/c|1|3|12|one two" ] || die "options parsed as '$out'"
[ "$(bash "$scratch/try.sh")" = "default|0|$(nproc)||" ] || die "the defaults changed"
bash "$scratch/try.sh" one two three 2> "$scratch/err" && die "a third argument was accepted"
grep -qx "try.sh: unexpected argument 'three' (see --help)" "$scratch/err" || die "third argument: $(cat "$scratch/err")"
bash "$scratch/try.sh" --dir 2> "$scratch/err" && die "--dir without a path was accepted"
grep -qx "try.sh: --dir needs a path" "$scratch/err" || die "--dir alone: $(cat "$scratch/err")"
echo "scripts' options: all as documented"
