#!/usr/bin/env bash
# The station window's budgets, against bramis-devsim emulators on
# pseudo-terminals:
#
#   bash bench/station.sh [eight] [memory]
#
#   eight   eight slots write at once at wire speed (~8 min), with one
#           bramis-flash write beside them on a ninth emulator; targets: the
#           station's last slot within 1.02 x that write's time, the window
#           process under 2 % of one core, its event loop never blocked
#           longer than 50 ms
#   memory  sixteen slots writing at once (emulators at full speed, cancelled
#           after 20 s); target: peak resident memory under 120 MB
#
# Default: both. Builds optimised in build/bench-station; runs the window on
# Xvfb when it is there, else offscreen. On a busy machine run it at real-time
# priority: chrt -f 20 bash bench/station.sh
set -euo pipefail
cd "$(dirname "$0")/.."
runs=("$@")
[ ${#runs[@]} -eq 0 ] && runs=(eight memory)

# The build at the normal priority even when the bench is at real-time one:
# a compiler at real-time priority starves everything else on the machine.
normal=()
command -v chrt >/dev/null && normal=(chrt -o 0)
"${normal[@]}" cmake -S . -B build/bench-station -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRAMIS_TESTS=OFF -DBRAMIS_BENCH=ON >/dev/null
"${normal[@]}" cmake --build build/bench-station --target station_bench bramis-flash bramis-devsim >build/bench-station.log ||
  { tail -n 30 build/bench-station.log; exit 1; }
bench=build/bench-station/bench/station/station_bench
flash=build/bench-station/src/cli/bramis-flash
devsim=build/bench-station/src/devsim/bramis-devsim

source bench/scratch.sh
head -c 188416 /dev/urandom >"$work/image.dat"
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data

if command -v Xvfb >/dev/null; then
  export DISPLAY=:$((90 + RANDOM % 100)) QT_QPA_PLATFORM=xcb
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.out" 2>&1 &
  pids+=($!)
  sleep 1
else
  export QT_QPA_PLATFORM=offscreen
fi

# start_devsim NAME ARGS...: an emulator, its line in `pty`.
start_devsim() {
  local out=$work/devsim-$1.out
  shift
  "$devsim" "$@" >"$out" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$out" ] && break; sleep 0.05; done
  pty=$(head -n 1 "$out")
}

# settings SLOTS: the store, slot n on COM(4 + n) = ptys[n].
ptys=()
settings() {
  {
    printf '[Station]\nImageFile=%s\n\n[Ports]\n' "$work/image.dat"
    for n in $(seq "$1"); do printf 'COM%d=%s\n' $((4 + n)) "${ptys[n]}"; done
  } >"$work/settings.ini"
}

check_all_good() {
  local slots=$1 out=$2
  [ "$(grep -c '^slot [0-9]*: Годен$' "$out")" -eq "$slots" ] || { echo "station: not every slot wrote:"; cat "$out"; exit 1; }
}

for run in "${runs[@]}"; do
  case $run in
    eight)
      for n in $(seq 0 8); do
        start_devsim "eight$n" --wire-speed --turnaround 0 --erase-time 0 --write-time 0
        ptys[n]=$pty
      done
      settings 8
      "$bench" "$work/settings.ini" 8 >"$work/eight.out" 2>&1 &
      bench_pid=$!
      for _ in $(seq 100); do grep -q '^started' "$work/eight.out" && break; sleep 0.05; done
      TIMEFORMAT='%R'
      flash_s=$({ time "$flash" --device "${ptys[0]}" write "$work/image.dat" >"$work/flash.out" 2>&1; } 2>&1) ||
        { echo "station: the write beside it failed:"; cat "$work/flash.out"; exit 1; }
      wait "$bench_pid" || { echo "station: the bench failed:"; cat "$work/eight.out"; exit 1; }
      check_all_good 8 "$work/eight.out"
      # The event loop's longest holds, with when they came.
      grep '^event loop held' "$work/eight.out" | sort -k4 -n -r | head -n 5 || true
      tail -n 1 "$work/eight.out"
      station_s=$(tail -n 1 "$work/eight.out" | sed -E 's/^slots 8: ([0-9.]+) s.*/\1/')
      awk -v s="$station_s" -v f="$flash_s" 'BEGIN { printf "one write beside it %.1f s: ratio %.4f (target <= 1.02)\n", f, s / f }'
      ;;
    memory)
      for n in $(seq 1 16); do
        start_devsim "memory$n"
        ptys[n]=$pty
      done
      settings 16
      "$bench" "$work/settings.ini" 16 --cancel-after 20 >"$work/memory.out" 2>&1 ||
        { echo "station: the bench failed:"; cat "$work/memory.out"; exit 1; }
      tail -n 1 "$work/memory.out" | sed -E 's/.*(peak resident [0-9.]+ MiB).*/sixteen slots: \1 (target < 120 MB)/'
      ;;
    *) echo "unknown run: $run (eight or memory)"; exit 2 ;;
  esac
done
