#!/usr/bin/env bash
# Times whole jobs of bramis-flash over pseudo-terminals against
# bramis-devsim --wire-speed (a device that answers at once, every byte at the
# real 9600 8E1 rate), and compares each with the protocol's own floor: the
# pauses after sending, the pre-delays, the wire time of the replies and the
# read time-outs that the protocol mandates for that job.
#
#   bash bench/job_timing.sh [write] [read] [verify] [four]
#
#   write   one write (~8 min); target ratio <= 1.002
#   read    one read (~7.5 min), the file compared with the device's image
#   verify  write --verify: a write, then the device read back and compared;
#           its floor is a write's plus a read's, target ratio <= 1.01
#   four    one write to four devices at once, on four emulators; its floor
#           is one write's, target ratio <= 1.02 and under 1 % of one core
#
# Default: write and read. Builds the two programs first, optimised, in
# build/bench. For each job prints the job time, the floor, their ratio and the
# CPU seconds that bramis-flash used. Run both ends at real-time priority on a
# busy machine: chrt -f 20 bash bench/job_timing.sh ...
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=("$@")
[ ${#jobs[@]} -eq 0 ] && jobs=(write read)

source bench/flash_programs.sh

head -c 188416 /dev/urandom >"$work/image.dat"
# Starts emulator number $1 and sets `pty` to its line. The device's own time
# (turnaround, erase, programming) is no part of the floor.
start_devsim() {
  "$devsim" --wire-speed --turnaround 0 --erase-time 0 --write-time 0 --image "$work/image.dat" \
    >"$work/devsim$1.out" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    [ -s "$work/devsim$1.out" ] && break
    sleep 0.05
  done
  pty=$(head -n 1 "$work/devsim$1.out")
}
start_devsim 0
ptys=("$pty")

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
      if (job == "write" || job == "verify") {
        total += exchange(7, 500, 10, 7)                              # erase
        for (b = 0; b < 368; b++) total += exchange(1037, 40, 10, 7)  # write block
        if (job == "verify") total += exchange(7, 0, 10, 7)           # run program
      }
      if (job != "write") {
        if (job == "verify") total += exchange(6, 0, 6, 6) + exchange(7, 500, 16, 9)
        for (b = 0; b < 368; b++) total += exchange(9, 0, 1040, 1034) # read block
      }
      total += exchange(7, 0, 10, 7)                                  # run program
      printf "%.1f\n", total
    }'
}

# run_job NAME FLOOR-JOB ARGS...: one bramis-flash run on every line in `ptys`.
run_job() {
  local name=$1 floorJob=$2 times devices=()
  shift 2
  for p in "${ptys[@]}"; do devices+=(--device "$p"); done
  TIMEFORMAT='%R %U %S'
  times=$({ time "$flash" "${devices[@]}" "$@" >"$work/$name.out" 2>&1; } 2>&1) || {
    echo "$name: bramis-flash failed:"; cat "$work/$name.out"; exit 1
  }
  local floor; floor=$(floor_ms "$floorJob")
  echo "$times" | awk -v job="$name" -v floor="$floor" '{
    wall = $1; cpu = $2 + $3
    printf "%-6s job %8.2f s  floor %8.2f s  ratio %.4f  cpu %.2f s (%.2f %% of the job)\n",
           job, wall, floor / 1000, wall * 1000 / floor, cpu, 100 * cpu / wall
  }'
}

for job in "${jobs[@]}"; do
  case $job in
    write) run_job write write write "$work/image.dat" ;;
    read)
      run_job read read read "$work/back.dat"
      cmp -s "$work/image.dat" "$work/back.dat" || { echo "read: the file differs from the device's image"; exit 1; }
      ;;
    verify) run_job verify verify write --verify "$work/image.dat" ;;
    four)
      for n in 1 2 3; do start_devsim $n; ptys+=("$pty"); done
      run_job four write write "$work/image.dat"
      ptys=("${ptys[0]}")
      ;;
    *) echo "unknown job: $job (write, read, verify or four)"; exit 2 ;;
  esac
done
