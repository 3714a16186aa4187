#!/usr/bin/env bash
# Runs the Windows build's tests under Wine, headless, in a Wine prefix of its
# own, then bramis-flash.exe end to end against the Linux device emulator.
#
#   bash scripts/wine-tests.sh [LINUX_BUILD [WINDOWS_BUILD]]
#
# LINUX_BUILD (default build/dev) supplies bramis-devsim and the echo peer
# pty_split_echo; WINDOWS_BUILD (default build/windows-cross) the .exe files.
# Wine's COM ports reach Linux pseudo-terminals:
#   COM5             bramis-devsim (the end-to-end runs of bramis-flash.exe)
#   COM6, COM1, COM255  pty_split_echo (the serial and port-discovery tests)
set -euo pipefail
cd "$(dirname "$0")/.."

linux_build=${1:-build/dev}
windows_build=${2:-build/windows-cross}
devsim=$linux_build/src/devsim/bramis-devsim
echo_peer=$linux_build/tests/link/pty_split_echo
flash=$windows_build/src/cli/bramis-flash.exe
for needed in "$devsim" "$echo_peer" "$flash"; do
  [[ -x $needed || -f $needed ]] || { echo "wine-tests: $needed is missing; build it first" >&2; exit 2; }
done

wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
[[ -x $wine && -x $wineserver ]] || { echo "wine-tests: Wine is missing (apt-get install wine64)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/bramis-wine.XXXXXX")
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer dialogs
peer_pids=()
cleanup() {
  # Wine's server first: it holds the pseudo-terminals as its controlling
  # terminal and floods its output when their master side goes away.
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  for pid in "${peer_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# The first line a program writes to `file`, once there (10 s at most).
first_line() {
  local file=$1
  for _ in $(seq 100); do
    if [[ -s $file ]] && head -n 1 "$file" | grep -q .; then
      head -n 1 "$file"
      return 0
    fi
    sleep 0.1
  done
  echo "wine-tests: nothing from ${file##*/}" >&2
  return 1
}

# Whether `pattern` matches a line of `file` within `seconds`.
wait_for() {
  local file=$1 pattern=$2 seconds=$3
  for _ in $(seq $((seconds * 10))); do
    grep -Eq "$pattern" "$file" && return 0
    sleep 0.1
  done
  return 1
}

fail() {
  echo "wine-tests: FAILED: $*" >&2
  exit 1
}

echo "-- Wine prefix"
"$wine" wineboot -i >/dev/null 2>&1

echo "-- far ends on pseudo-terminals"
"$echo_peer" >"$work/echo.out" 2>"$work/echo.err" &
peer_pids+=($!)
"$devsim" --wire-speed --events >"$work/devsim.out" 2>"$work/devsim.err" &
peer_pids+=($!)
echo_tty=$(first_line "$work/echo.out")
devsim_tty=$(first_line "$work/devsim.out")

# Wine's port list names them (so the system's device list has them) and
# the links in dosdevices let CreateFile reach them under \\.\COMn.
{
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
  printf '"COM%s"="%s"\n' 5 "$devsim_tty" 6 "$echo_tty" 1 "$echo_tty" 255 "$echo_tty"
} >"$work/ports.reg"
"$wine" reg import "$work/ports.reg" >/dev/null 2>&1
for mapping in "com5:$devsim_tty" "com6:$echo_tty" "com1:$echo_tty" "com255:$echo_tty"; do
  ln -sfn "${mapping#*:}" "$WINEPREFIX/dosdevices/${mapping%%:*}"
done
# A fresh server and session read the port list. Both are kept running with
# their output sent away: Wine's own processes, started by whichever program
# comes first, would otherwise hold that program's output open, and CTest
# would wait for its end until the time-out.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w 2>/dev/null || true
"$wineserver" -p >/dev/null 2>&1
"$wine" reg query 'HKLM\Software\Wine\Ports' >/dev/null 2>&1

echo "-- Windows tests under Wine"
BRAMIS_ECHO_PORT=6 ctest --test-dir "$windows_build" --output-on-failure --no-tests=error -j2 --timeout 300

echo "-- bramis-flash.exe against the emulator on COM5"
# A settings folder of its own, so that no user setting redirects COM5.
export HOME=$work XDG_CONFIG_HOME=
flash_abs=$(cd "$(dirname "$flash")" && pwd)/$(basename "$flash")
cd "$work"

set +e
"$wine" "$flash_abs" --port 5 version >version.out 2>&1
code=$?
set -e
cat version.out
[[ $code -eq 0 ]] || fail "version exited $code, not 0"
grep -q '^version' devsim.out || fail "the emulator saw no version request"

# A write cancelled with Ctrl+C (SIGINT becomes CTRL_C_EVENT in Wine) once
# three blocks are written: exit 3, and the device is sent back to work.
head -c 188416 /dev/urandom >image.dat
: >devsim.out.before && cp devsim.out devsim.out.before
"$wine" "$flash_abs" --port 5 write image.dat >write.out 2>&1 &
flash_pid=$!
if ! wait_for devsim.out '^write 2( |$)' 120; then
  kill "$flash_pid" 2>/dev/null || true
  cat write.out
  fail "the write never reached block 2"
fi
kill -INT "$flash_pid"
set +e
wait "$flash_pid"
code=$?
set -e
cat write.out
[[ $code -eq 3 ]] || fail "the cancelled write exited $code, not 3"
new_events=$(tail -n +"$(($(wc -l <devsim.out.before) + 1))" devsim.out)
last_write=$(grep -n '^write ' <<<"$new_events" | tail -n 1 | cut -d: -f1)
tail -n +"$last_write" <<<"$new_events" | grep -q '^run' ||
  fail "no run-program request after the last block"
grep -q '^write 367' <<<"$new_events" && fail "the write was not cancelled"

echo "wine-tests: all passed"
