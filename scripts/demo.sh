#!/usr/bin/env bash
# Runs the programmer against the device emulator, without touching the
# user's own settings: builds the release preset, starts bramis-devsim on a
# pseudo-terminal, points COM5 at it in a settings folder of its own, then
# opens the programmer window when a display is there, or else writes a
# sample image with bramis-flash. The emulator is stopped at the end.
#
#   bash scripts/demo.sh             # window if a display is there, else command line
#   bash scripts/demo.sh --cli       # always the command-line write
set -euo pipefail
cd "$(dirname "$0")/.."

mode=auto
case "${1:-}" in
  --cli) mode=cli ;;
  "") ;;
  *) echo "usage: $0 [--cli]" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target bramis-devsim bramis-flash bramis-programmer
bin=build/release/src

work=$(mktemp -d "${TMPDIR:-/tmp}/bramis-demo.XXXXXX")
devsim_pid=
cleanup() {
  if [[ -n $devsim_pid ]]; then
    kill "$devsim_pid" 2>/dev/null || true
    wait "$devsim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# A sample image: exactly 188416 bytes.
sample=build/release/demo/sample.dat
if [[ ! -f $sample ]]; then
  mkdir -p "$(dirname "$sample")"
  seq 1 40000 > "$sample"
  truncate -s 188416 "$sample"
fi
sample=$(realpath "$sample")

# The emulator prints the path of its pseudo-terminal as its first line.
"$bin/devsim/bramis-devsim" --link "$work/device" > "$work/devsim.out" 2> "$work/devsim.err" &
devsim_pid=$!
for _ in $(seq 100); do
  [[ -s $work/devsim.out ]] && break
  kill -0 "$devsim_pid" 2>/dev/null || { cat "$work/devsim.err" >&2; exit 1; }
  sleep 0.1
done
device=$(head -n 1 "$work/devsim.out")
[[ -n $device ]] || { echo "the emulator did not start" >&2; exit 1; }
echo "emulator on $device"

# Settings of this run only: COM5 is the emulator; the sample is the file
# last used and is loaded at start.
export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME/Orvy"
cat > "$XDG_CONFIG_HOME/Orvy/TOLVA upgrade.conf" <<CONF
[Ports]
COM5=$device

[ProgramFileList]
File1=$sample

[Settings]
PortNumber=5
ProgramAutoload=1
CONF

if [[ $mode == auto && ( -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ) ]]; then
  echo "opening the programmer: COM5 is the emulator, $sample is in the file box"
  "$bin/app/bramis-programmer"
else
  "$bin/cli/bramis-flash" --device "$device" write "$sample"
fi
