#!/bin/bash
# Runs the real flyover headless in a scratch directory with small maps and
# checks what it presented and how it ended.
#
#   capture.sh FLYOVER EXPECTED frames FORMAT DEPTHS SHOWN N
#       FLYOVER_FORMAT=FORMAT (and FLYOVER_DEPTHS=DEPTHS unless "-"), N frames:
#       exit code 0 and exactly N frames in the SHOWN format, each the
#       renderer's canvas through the reference converter.
#   capture.sh FLYOVER EXPECTED png N
#       a .png capture holds frame N, the last one presented.
#   capture.sh FLYOVER EXPECTED fails MESSAGE [NAME=VALUE...]
#       with these variables the display cannot open: exit code 1 and a
#       line on standard error that contains MESSAGE.
set -u
flyover=$1 expected=$2 mode=$3
shift 3

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$expected" maps "$scratch" || exit 2
cd "$scratch" || exit 2

die() { echo "FAIL: $*" >&2; exit 1; }

case $mode in
frames)
  format=$1 depths=$2 shown=$3 frames=$4
  vars=(FLYOVER_DRIVER=capture FLYOVER_FORMAT="$format" FLYOVER_FRAMES="$frames" FLYOVER_CAPTURE=got.raw)
  [ "$depths" != - ] && vars+=(FLYOVER_DEPTHS="$depths")
  env "${vars[@]}" timeout 60 "$flyover" 2>stderr.txt
  code=$?
  [ $code -eq 0 ] || die "exit code $code, expected 0; stderr: $(cat stderr.txt)"
  "$expected" frames "$scratch" "$shown" "$frames" want.raw || exit 2
  got=$(stat -c %s got.raw) want=$(stat -c %s want.raw)
  [ "$got" -eq "$want" ] || die "captured $got bytes, expected $want ($frames frames of $shown)"
  cmp got.raw want.raw || die "the captured frames differ from the renderer's canvases in $shown"
  ;;
png)
  frames=$1
  FLYOVER_DRIVER=capture FLYOVER_FRAMES="$frames" FLYOVER_CAPTURE=last.png timeout 60 "$flyover" 2>stderr.txt
  code=$?
  [ $code -eq 0 ] || die "exit code $code, expected 0; stderr: $(cat stderr.txt)"
  "$expected" png "$scratch" "$frames" last.png || die "the picture is not frame $frames"
  ;;
fails)
  message=$1
  shift
  env "$@" timeout 60 "$flyover" 2>stderr.txt
  code=$?
  [ $code -eq 1 ] || die "exit code $code, expected 1; stderr: $(cat stderr.txt)"
  grep -qF -- "$message" stderr.txt || die "no line saying '$message' on stderr: $(cat stderr.txt)"
  ;;
*)
  die "unknown mode $mode"
  ;;
esac
exit 0
