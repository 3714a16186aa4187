#!/usr/bin/env bash
# bramis-flash on a real serial driver: a small Linux guest under QEMU (TCG,
# no KVM needed) runs it on /dev/ttyS1, the kernel's own 8250 driver on an
# emulated 16550A whose far side is joined to bramis-devsim's pseudo-terminal
# on the host. In the guest: a version job, then a write cancelled by SIGINT
# after a few blocks. Checked:
#   - from QEMU's trace of its UARTs: every open set 9600 baud, even parity,
#     8 data bits, 1 stop bit, and DTR and RTS were off for every byte the
#     program sent; the guest's driver says the same half way through the write;
#   - the exit codes (0, then 3 for the cancel);
#   - from the emulator's request log: the version, the written blocks, and
#     the run-program request after each job.
# About 30 s on two cores; the guest's console, QEMU's trace and the
# emulator's log are left in BUILD_DIR/qemu-uart-test.
#
#   bash scripts/qemu-uart-test.sh build/dev
set -euo pipefail
cd "$(dirname "$0")/.."

[[ $# -eq 1 ]] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
build=$(realpath "$1")
flash=$build/src/cli/bramis-flash
devsim=$build/src/devsim/bramis-devsim
for program in "$flash" "$devsim"; do
  [[ -x $program ]] || { echo "qemu-uart-test: $program is not built" >&2; exit 2; }
done

bash scripts/install-deps.sh qemu-system-x86 busybox-static cpio

# The guest's console, QEMU's trace and the emulator's log stay in $logs.
logs=$build/qemu-uart-test
rm -rf "$logs"
mkdir -p "$logs"
work=$(mktemp -d "${TMPDIR:-/tmp}/bramis-qemu.XXXXXX")
devsim_pid=
cleanup() {
  [[ -n $devsim_pid ]] && kill "$devsim_pid" 2>/dev/null || true
  cp "$work"/{console.log,qemu.err,trace.log,devsim.out,devsim.err} "$logs" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
pass() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Only the kernel image of Debian's current kernel package: installing the
# package would run update-initramfs for minutes, and nothing else is needed
# (its 8250 driver and devtmpfs are built in).
# Package lists older than the mirror name a kernel it no longer has: then
# they are updated and the kernel looked up again.
kernel_package() { apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/ { print $2; exit }'; }
kernel_package=$(kernel_package)
if [[ -z $kernel_package ]] || ! (cd "$work" && apt-get download "$kernel_package" >/dev/null 2>&1); then
  apt_get=(apt-get)
  [[ $(id -u) -eq 0 ]] || apt_get=(sudo apt-get)
  "${apt_get[@]}" update >/dev/null
  kernel_package=$(kernel_package)
  [[ -n $kernel_package ]] || { echo "qemu-uart-test: no kernel package for linux-image-amd64" >&2; exit 1; }
  (cd "$work" && apt-get download "$kernel_package" >/dev/null)
fi
dpkg-deb --fsys-tarfile "$work"/"$kernel_package"_*.deb | tar -x -C "$work" ./boot
kernel=$(ls "$work"/boot/vmlinuz-*)

# The guest's root: busybox, the program with every library it loads, an
# image to write, and /init.
root=$work/root
mkdir -p "$root"/{bin,dev,proc,sys,tmp,etc,lib64}
cp /bin/busybox "$root/bin/busybox"
cp "$flash" "$root/bin/bramis-flash"
for library in $(ldd "$flash" | awk '/=> \// { print $3 } /^\t\/lib/ { print $1 }'); do
  cp -L --parents "$library" "$root"
done
echo "root:x:0:0:root:/tmp:/bin/sh" >"$root/etc/passwd"
head -c 188416 /dev/urandom >"$root/image.dat"
cat >"$root/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
export HOME=/tmp XDG_CONFIG_HOME=/tmp/config XDG_DATA_HOME=/tmp/data
cancel_after=$(sed -n 's/.*probe\.cancel=\([0-9]*\).*/\1/p' /proc/cmdline)
bramis-flash --device /dev/ttyS1 version >/tmp/version.out 2>&1
echo "@@version rc=$?"
sed 's/^/@@version: /' /tmp/version.out
bramis-flash --device /dev/ttyS1 write /image.dat >/tmp/write.out 2>&1 &
job=$!
# Half way, the driver's own view of the modem lines, read by the shell
# itself: opening the port, or starting a program, would disturb the job.
sleep $((cancel_after / 2))
while read -r line; do
  case $line in 1:*) echo "@@ttyS1: $line" ;; esac
done </proc/tty/driver/serial
sleep $((cancel_after - cancel_after / 2))
kill -INT "$job"
wait "$job"
echo "@@write rc=$?"
tr '\r' '\n' </tmp/write.out | grep -v '^$' | tail -n 4 | sed 's/^/@@write: /'
poweroff -f
EOF
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initramfs.cpio"

# The emulator paced like a cable: QEMU's UART is not.
"$devsim" --wire-speed --events >"$work/devsim.out" 2>"$work/devsim.err" &
devsim_pid=$!
for _ in $(seq 100); do
  [[ -s $work/devsim.out ]] && break
  sleep 0.1
done
pty=$(head -n 1 "$work/devsim.out")
[[ $pty == /dev/pts/* ]] || { echo "qemu-uart-test: bramis-devsim: $(cat "$work/devsim.err")" >&2; exit 1; }

# A starved virtual CPU cuts replies: QEMU runs at a higher priority where it may.
priority=()
[[ $(id -u) -eq 0 ]] && priority=(nice -n -10)
started=$SECONDS
timeout 240 "${priority[@]}" qemu-system-x86_64 -M pc,accel=tcg -m 512 -smp 1 -nographic -monitor none \
  -no-reboot -kernel "$kernel" -initrd "$work/initramfs.cpio" \
  -append "console=ttyS0,115200 loglevel=4 panic=-1 probe.cancel=8" \
  -serial stdio -chardev serial,id=dev,path="$pty" -serial chardev:dev \
  -trace serial_update_parameters -trace serial_write -D "$work/trace.log" \
  </dev/null >"$work/console.log" 2>"$work/qemu.err" || true
echo "== guest ran $((SECONDS - started)) s"
grep -a '@@' "$work/console.log" | tr -d '\r' | sed 's/.*@@/  /' || true

# Exit codes and what the emulator was asked.
grep -aq '@@version rc=0' "$work/console.log" && pass "version job: exit 0" ||
  fail "version job: $(tail -n 5 "$work/console.log") $(cat "$work/qemu.err")"
grep -aq '@@write rc=3' "$work/console.log" && pass "cancelled write: exit 3" ||
  fail "cancelled write: $(grep -a '@@write' "$work/console.log" || tail -n 5 "$work/console.log")"
kill "$devsim_pid" && wait "$devsim_pid" || true
devsim_pid=
requests=$(tail -n +2 "$work/devsim.out" | tr '\n' ' ')
written=$(grep -c '^write [0-9]* status 55' "$work/devsim.out" || true)
if [[ $requests =~ ^enter\ version\ run\ enter\ version\ erase\ status\ 01\ (write\ [0-9]+\ status\ 55\ )+run\ $ ]]; then
  pass "the emulator got the version, $written blocks, and the run-program request after each job"
else
  fail "the emulator's requests: $requests"
fi

# The line, from QEMU's trace. Trace lines do not name their UART, but the
# console runs at 115200 and is quiet during the jobs (their output goes to
# files): a port set to 9600 8E1 is the program's, and the bytes written to
# the transmit register (offset 0, unless the line control register's top bit
# makes it the divisor latch) until the close (0x00 into the modem
# control register, offset 4) are its requests. The kernel raises DTR and
# RTS (bits 0 and 1) as it opens the port; by the first request the program
# must have cleared them, and they must stay off.
awk -v want="baudrate=9600 parity='E' data=8 stop=1" '
  function hex(text,   n, i) {
    n = 0
    for (i = 3; i <= length(text); i++) n = n * 16 + index("0123456789abcdef", tolower(substr(text, i, 1))) - 1
    return n
  }
  /serial_update_parameters/ {
    params = substr($0, index($0, "baudrate="))
    if (params == want) ours = 1
    next
  }
  !/serial_write/ { next }
  {
    split($0, field, " ")
    value = hex(field[6])
  }
  field[4] == "0x03" { divisor = value >= 128 }  # offset 0 is then the divisor latch
  field[4] == "0x04" && value != 0 { modem = value; next }
  field[4] == "0x04" && ours {
    opens++
    if (params != want) bad = bad "open " opens ": the line last set to " params "\n"
    if (sent == 0) bad = bad "open " opens ": no request went out\n"
    if (raised) bad = bad "open " opens ": " raised " bytes sent with DTR or RTS on\n"
    ours = sent = raised = 0
  }
  field[4] == "0x00" && !divisor && ours && params == want {
    sent++
    if (modem % 4 != 0) raised++
  }
  END {
    if (opens < 2) bad = bad "opens of ttyS1 at 9600 8E1 seen: " opens + 0 ", 2 wanted\n"
    printf "%s", bad
    exit bad != ""
  }' "$work/trace.log" >"$work/line.check" &&
  pass "both opens of ttyS1: 9600 baud, even parity, 8 data bits, 1 stop bit; DTR and RTS off for every request" ||
  fail "the line: $(cat "$work/line.check")"
modem_lines=$(grep -a '@@ttyS1:' "$work/console.log" | tr -d '\r' || true)
[[ -n $modem_lines && ! $modem_lines =~ DTR|RTS ]] && pass "during the write the driver had DTR and RTS off: $modem_lines" ||
  fail "the driver's modem lines during the write: ${modem_lines:-not seen}"

[[ $failures -eq 0 ]] || { echo "qemu-uart-test: $failures check(s) failed"; exit 1; }
echo "qemu-uart-test: all checks passed"
