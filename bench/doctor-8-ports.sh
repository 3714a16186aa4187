#!/usr/bin/env bash
# Times `bramis-flash doctor` over eight ports at once: eight bramis-devsim
# emulators at wire speed (every byte at the real 9600 8E1 rate) on
# pseudo-terminals, all eight named with --device in one run. Budget: 3 s of
# wall time for the eight. For comparison it also times the same eight ports
# checked one after another, one run each.
#
#   bash bench/doctor-8-ports.sh [silent]
#
#   silent  every device stays silent: the longest device question (each
#           port asked kFindEnterTries times before it counts as no answer)
#
# Builds the two programs first, optimised, in build/bench. Prints each
# figure in seconds and whether the run kept to the budget; exits 1 when not.
set -euo pipefail
cd "$(dirname "$0")/.."
faults=()
[ "${1:-}" = silent ] && faults=(--fault silent)
budget_s=3

source bench/flash_programs.sh

devices=()
for n in $(seq 8); do
  "$devsim" --wire-speed "${faults[@]}" >"$work/devsim$n.out" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    [ -s "$work/devsim$n.out" ] && break
    sleep 0.05
  done
  devices+=(--device "$(head -n 1 "$work/devsim$n.out")")
done

# Seconds since the epoch, to the millisecond.
now() { date +%s.%N; }
# The journal is the run's own, empty: only the system and the devices are asked.
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"

start=$(now)
status=0
"$flash" "${devices[@]}" doctor >"$work/doctor.out" || status=$?
together=$(awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }')

start=$(now)
for ((i = 0; i < ${#devices[@]}; i += 2)); do
  "$flash" "${devices[i]}" "${devices[i + 1]}" doctor >/dev/null || true
done
one_by_one=$(awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }')

answered=$(grep -c "прибор ответил" "$work/doctor.out" || true)
echo "doctor, 8 ports at once:   ${together} s (budget ${budget_s} s), exit ${status}, ${answered} of 8 devices answered"
echo "doctor, 8 ports one by one: ${one_by_one} s"
awk -v t="$together" -v b="$budget_s" 'BEGIN { exit !(t <= b) }' && echo "within budget" || {
  echo "over budget"
  exit 1
}
