#!/usr/bin/env bash
# The window's own CPU use during a write: bramis-programmer on Xvfb writes,
# through COM5, to bramis-devsim --wire-speed on a pseudo-terminal; the
# window's CPU time is sampled from the second block to the last. Target:
# under 1 % of one core.
#
#   bash bench/window_cpu.sh          (a whole write: ~8 min)
#
# Builds the two programs first, optimised, in build/bench-gui. Needs Xvfb,
# openbox and xdotool (scripts/install-deps.sh with xvfb openbox xdotool).
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in Xvfb openbox xdotool; do
  command -v "$tool" >/dev/null || { echo "window_cpu: $tool is missing" >&2; exit 2; }
done

cmake -S . -B build/bench-gui -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRAMIS_TESTS=OFF >/dev/null
cmake --build build/bench-gui --target bramis-programmer bramis-devsim >/dev/null
window_exe=build/bench-gui/src/app/bramis-programmer
devsim=build/bench-gui/src/devsim/bramis-devsim

source bench/scratch.sh

first_line() {
  for _ in $(seq 100); do [ -s "$1" ] && break; sleep 0.05; done
  head -n 1 "$1"
}
wait_for() {  # file pattern seconds
  for _ in $(seq $(($3 * 10))); do grep -qE "$2" "$1" && return 0; sleep 0.1; done
  return 1
}
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

head -c 188416 /dev/urandom >"$work/image.dat"
"$devsim" --wire-speed --turnaround 0 --erase-time 0 --write-time 0 --events >"$work/devsim.out" 2>&1 &
pids+=($!)
tty=$(first_line "$work/devsim.out")

# The window's settings and journal in a folder of their own; COM5 is the
# emulator's line.
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$XDG_CONFIG_HOME/Orvy"
printf '[Settings]\nPortNumber=5\nEndSound=0\n\n[Ports]\nCOM5=%s\n' "$tty" >"$XDG_CONFIG_HOME/Orvy/TOLVA upgrade.conf"

export DISPLAY=:$((90 + RANDOM % 100))
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
openbox >"$work/openbox.out" 2>&1 &
pids+=($!)
QT_QPA_PLATFORM=xcb "$window_exe" >"$work/window.out" 2>&1 &
window_pid=$!
pids+=($window_pid)
window=
for _ in $(seq 600); do
  window=$(xdotool search --onlyvisible --name '^Программатор Брамис$' 2>/dev/null | head -n 1) && [[ -n $window ]] && break
  sleep 0.1
done
[[ -n $window ]] || { cat "$work/window.out"; echo "window_cpu: no window within 60 s" >&2; exit 1; }
sleep 1

# Keys only: from Exit, which has the focus, to the file box, then back to
# the write button.
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
xdotool key --delay 100 Tab Tab Tab
xdotool type --delay 20 "$work/image.dat"
xdotool key --delay 100 shift+Tab shift+Tab space
if ! wait_for "$work/devsim.out" '^write 2( |$)' 120; then
  import -window root build/bench-gui/window-cpu-failure.png 2>/dev/null || true
  echo "window_cpu: the write never reached block 2 (the screen: build/bench-gui/window-cpu-failure.png)" >&2
  exit 1
fi
start_ticks=$(cpu_ticks "$window_pid")
start_ns=$(date +%s%N)
wait_for "$work/devsim.out" '^write 367( |$)' 900 || { echo "window_cpu: the write never reached its last block" >&2; exit 1; }
end_ticks=$(cpu_ticks "$window_pid")
end_ns=$(date +%s%N)
awk -v t="$((end_ticks - start_ticks))" -v hz="$(getconf CLK_TCK)" -v ns="$((end_ns - start_ns))" 'BEGIN {
  cpu = t / hz; wall = ns / 1e9
  printf "window during a write: %.1f s of blocks, cpu %.2f s (%.2f %% of one core)\n", wall, cpu, 100 * cpu / wall
}'
