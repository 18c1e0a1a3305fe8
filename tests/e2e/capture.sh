#!/bin/bash
# The real flyover, headless, in a scratch directory with the default maps:
#   capture.sh FLYOVER EXPECTED MKMAPS frames FORMAT DEPTHS SHOWN N
#       FLYOVER_FORMAT=FORMAT, FLYOVER_DEPTHS=DEPTHS unless "-": exit code 0
#       and exactly the first N canvases through SHOWN's reference converter
#   capture.sh FLYOVER EXPECTED MKMAPS png N     exit code 0, the .png holds frame N
#   capture.sh FLYOVER EXPECTED MKMAPS webp N FORMAT   exit code 0, the .webp
#       animation shows frames 1 to N as a FORMAT screen held them
#   capture.sh FLYOVER EXPECTED MKMAPS video N     the raw stream of N frames
#       piped into ffmpeg as the README says, to a lossless video, decodes
#       back to exactly the first N canvases
# FLYOVER_EMULATOR, when set, is the command that runs the three programs
# (a cross build's, under qemu-user).
set -u
flyover=$1 expected=$2 mkmaps=$3 mode=$4
shift 4
read -r -a emulator <<< "${FLYOVER_EMULATOR-}"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"${emulator[@]}" "$mkmaps" "$scratch" > /dev/null && cd "$scratch" || exit 2

die() { echo "FAIL: $*; stderr: $(cat stderr.txt)" >&2; exit 1; }
# run CODE [env arguments...]: the flyover must end with CODE.
run() {
  local want=$1 code
  shift
  FLYOVER_DRIVER=capture env "$@" timeout 60 "${emulator[@]}" "$flyover" 2>stderr.txt
  code=$?
  [ $code -eq "$want" ] || die "exit code $code, expected $want"
}

case $mode in
frames)
  depths=()
  [ "$2" = - ] || depths=(FLYOVER_DEPTHS="$2")
  run 0 FLYOVER_FORMAT="$1" "${depths[@]}" FLYOVER_FRAMES="$4" FLYOVER_CAPTURE=got.raw
  "${emulator[@]}" "$expected" frames "$scratch" "$3" "$4" want.raw || exit 2
  cmp got.raw want.raw || die "the capture is not the first $4 canvases in $3"
  ;;
png)
  run 0 FLYOVER_FRAMES="$1" FLYOVER_CAPTURE=last.png
  "${emulator[@]}" "$expected" png "$scratch" "$1" last.png || die "the picture is not frame $1"
  ;;
webp)
  run 0 FLYOVER_FORMAT="$2" FLYOVER_FRAMES="$1" FLYOVER_CAPTURE=flight.webp
  "${emulator[@]}" "$expected" webp "$scratch" "$1" flight.webp "$2" || die "the animation is not frames 1 to $1 in $2"
  ;;
video)
  # The padding byte of xrgb8888 is not part of the picture: compare the
  # decoded video as 24-bit B,G,R with the canvases in rgb888 (those bytes).
  FLYOVER_DRIVER=capture FLYOVER_FRAMES=$1 FLYOVER_CAPTURE=/dev/stdout timeout 60 "${emulator[@]}" "$flyover" \
    2>stderr.txt | ffmpeg -hide_banner -loglevel error \
    -f rawvideo -pixel_format bgr0 -video_size 320x200 -framerate 60 -i - -c:v ffv1 flight.mkv 2>ffmpeg.txt
  codes=("${PIPESTATUS[@]}")
  [ "${codes[0]}" -eq 0 ] || die "exit code ${codes[0]}, expected 0"
  [ "${codes[1]}" -eq 0 ] || die "ffmpeg could not encode the stream: $(cat ffmpeg.txt)"
  ffmpeg -hide_banner -loglevel error -i flight.mkv -f rawvideo -pix_fmt bgr24 got.raw 2>ffmpeg.txt \
    || die "ffmpeg could not decode its video: $(cat ffmpeg.txt)"
  "${emulator[@]}" "$expected" frames "$scratch" rgb888 "$1" want.raw || exit 2
  cmp got.raw want.raw || die "the video decoded is not the first $1 canvases"
  ;;
*) echo "unknown mode $mode" >&2 && exit 2 ;;
esac
