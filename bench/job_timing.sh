#!/usr/bin/env bash
# Times whole jobs of bramis-flash over a pseudo-terminal against
# bramis-devsim --wire-speed (a device that answers at once, every byte at the
# real 9600 8E1 rate), and compares each with the protocol's own floor: the
# pauses after sending, the pre-delays, the wire time of the replies and the
# read time-outs that the protocol mandates for that job.
#
#   bash bench/job_timing.sh [write] [read]     (default: both; a write takes ~8 min)
#
# Builds the two programs first, optimised, in build/bench. For each job prints the
# job time, the floor, their ratio (target <= 1.02) and the CPU seconds that
# bramis-flash used (target < 2 % of the job time).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=("$@")
[ ${#jobs[@]} -eq 0 ] && jobs=(write read)

cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRAMIS_GUI=OFF -DBRAMIS_TESTS=OFF >/dev/null
cmake --build build/bench --target bramis-flash bramis-devsim >/dev/null
flash=build/bench/src/cli/bramis-flash
devsim=build/bench/src/devsim/bramis-devsim

work=$(mktemp -d)
devsim_pid=
cleanup() {
  [ -n "$devsim_pid" ] && kill "$devsim_pid" 2>/dev/null && wait "$devsim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

head -c 188416 /dev/urandom >"$work/image.dat"
# The device's own time (turnaround, erase, programming) is no part of the floor.
"$devsim" --wire-speed --turnaround 0 --erase-time 0 --write-time 0 --image "$work/image.dat" \
  >"$work/devsim.out" 2>&1 &
devsim_pid=$!
for _ in $(seq 100); do
  [ -s "$work/devsim.out" ] && break
  sleep 0.05
done
pty=$(head -n 1 "$work/devsim.out")

# The floor of one job, in ms: each exchange as the serial channel carries it
# out on an ideal line. Arguments of an exchange: request length, pre-delay,
# read capacity, reply length. The pause after sending is length * 12 / 10 ms
# (whole ms), the bytes take 11/9600 s each on the wire, the reply follows the
# request's last byte at once, and the reads follow the chunk rule: at most 16
# bytes, back after 30 ms without a byte or 5 ms after the last one.
floor_ms() {
  awk -v job="$1" '
    function exchange(len, predelay, capacity, reply,   byte, sent, t, got, i, want, start, n, last, deadline, at) {
      byte = 11000.0 / 9600.0
      sent = len * byte
      t = int(len * 12 / 10)
      if (sent > t) t = sent
      t += predelay
      for (i = 1; i <= reply; i++) arrival[i] = sent + i * byte
      got = 0
      while (got < capacity) {
        want = capacity - got; if (want > 16) want = 16
        start = t; n = 0; last = start
        while (1) {
          deadline = (n == 0) ? start + 30 : ((start + 30 < last + 5) ? start + 30 : last + 5)
          if (got + n + 1 > reply) { t = deadline; break }
          at = arrival[got + n + 1]; if (at < start) at = start
          if (at > deadline) { t = deadline; break }
          last = at; n++
          if (n == want) { t = last; break }
        }
        got += n
        if (n == 0) break
      }
      return t
    }
    BEGIN {
      total = exchange(6, 0, 6, 6) + exchange(7, 500, 16, 9)          # enter, version
      if (job == "write") {
        total += exchange(7, 500, 10, 7)                              # erase
        for (b = 0; b < 368; b++) total += exchange(1037, 40, 10, 7)  # write block
      } else {
        for (b = 0; b < 368; b++) total += exchange(9, 0, 1040, 1034) # read block
      }
      total += exchange(7, 0, 10, 7)                                  # run program
      printf "%.1f\n", total
    }'
}

run_job() {
  local job=$1 file=$2 times
  TIMEFORMAT='%R %U %S'
  times=$({ time "$flash" --device "$pty" "$job" "$file" >"$work/$job.out" 2>&1; } 2>&1) || {
    echo "$job: bramis-flash failed:"; cat "$work/$job.out"; exit 1
  }
  local floor; floor=$(floor_ms "$job")
  echo "$times" | awk -v job="$job" -v floor="$floor" '{
    wall = $1; cpu = $2 + $3
    printf "%-5s job %8.2f s  floor %8.2f s  ratio %.4f  cpu %.2f s (%.2f %% of the job)\n",
           job, wall, floor / 1000, wall * 1000 / floor, cpu, 100 * cpu / wall
  }'
}

for job in "${jobs[@]}"; do
  case $job in
    write) run_job write "$work/image.dat" ;;
    read)
      run_job read "$work/back.dat"
      cmp -s "$work/image.dat" "$work/back.dat" || { echo "read: the file differs from the device's image"; exit 1; }
      ;;
    *) echo "unknown job: $job (write or read)"; exit 2 ;;
  esac
done
