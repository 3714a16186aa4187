#!/usr/bin/env bash
# Builds the Debian package from the release preset (without the tests, in
# build/package), checks what it holds and what it depends on, then starts
# each program from an unpacked copy of the package and again after a real
# `apt-get install` of it, which is removed at the end:
#   - bramis-flash --help;
#   - bramis-devsim, with bramis-flash reading the bootloader version over the
#     pseudo-terminal whose path it prints;
#   - bramis-programmer offscreen, and on an X server (Xvfb), where its window's title, class
#     and icon are read back and its help command must open the installed help
#     page (a stand-in xdg-open records what the program asks to open);
#   - the udev rule for USB-serial adapters in /usr/lib/udev/rules.d, read by
#     udevadm without complaint, and the maintainer scripts reloading the rules
#     (where udev does not run, as in a container, the install goes on).
# Settings go to a folder of this run; the user's own are untouched.
#
#   bash scripts/package-test.sh                # unpacked copy and real install
#   bash scripts/package-test.sh --no-install   # unpacked copy only
set -euo pipefail
cd "$(dirname "$0")/.."

real_install=yes
case "${1:-}" in
  --no-install) real_install=no ;;
  "") ;;
  *) echo "usage: $0 [--no-install]" >&2; exit 2 ;;
esac

# udev: its udevadm reads the package's rule file as udev would.
bash scripts/install-deps.sh dpkg-dev file desktop-file-utils xvfb x11-utils xdotool udev

build=build/package
cmake --preset release -B "$build" -DBRAMIS_TESTS=OFF >/dev/null
cmake --build "$build"
rm -f "$build"/bramis-programmer_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/bramis-programmer_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || { echo "package-test: no package was made" >&2; exit 1; }
deb=$(realpath "${debs[0]}")
echo "== package $deb"

work=$(mktemp -d "${TMPDIR:-/tmp}/bramis-package.XXXXXX")
pids=()
installed=no
failures=0
as_root=()
[[ $(id -u) -eq 0 ]] || as_root=(sudo -n)
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  if [[ $installed == yes ]]; then
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get remove -y --purge bramis-programmer >/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# An X server of this run: it takes a free display number itself.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>"$work/xvfb.err" &
pids+=($!)
for _ in $(seq 100); do
  [[ -s $work/display ]] && break
  sleep 0.1
done
[[ -s $work/display ]] || { echo "package-test: Xvfb did not start: $(cat "$work/xvfb.err")" >&2; exit 1; }
display=:$(head -n 1 "$work/display")

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }

export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run LC_ALL=C.UTF-8
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# The package names of the Depends field, without versions.
depends=$(dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | sed 's/^ *//; s/[ (].*//' | sort -u)
depends_on() { grep -qx "$1" <<<"$depends"; }

echo "== what the package depends on"
for package in libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins; do
  depends_on "$package" && pass "depends on $package" || fail "does not depend on $package"
done
dev=$(grep -- '-dev$' <<<"$depends" || true)
[[ -z $dev ]] && pass "no development package among the dependencies" || fail "depends on $dev"

root=$work/root
dpkg -x "$deb" "$root"
udev_rule=70-bramis-usb-serial.rules
for script in postinst postrm; do
  dpkg-deb --info "$deb" "$script" 2>/dev/null | grep -q 'udevadm control --reload-rules' \
    && pass "$script reloads the udev rules" || fail "$script does not reload the udev rules"
done

# Every library a program is linked with must come from a package it depends on.
for program in bramis-programmer bramis-flash bramis-devsim; do
  elf=$root/usr/bin/$program
  for soname in $(readelf -d "$elf" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    # "soname => path (address)", or "path (address)" for the dynamic loader.
    path=$(ldd "$elf" | awk -v so="$soname" '$1 == so && $2 == "=>" { print $3 } $1 ~ "/" so "$" { print $1 }')
    if [[ -z $path || $path == not ]]; then
      fail "$program: $soname not found on this machine"
      continue
    fi
    owner=$(dpkg -S "$path" 2>/dev/null || dpkg -S "$(realpath "$path")" 2>/dev/null || true)
    owner=${owner%%:*}
    depends_on "$owner" && pass "$program: $soname from $owner" || fail "$program: $soname from '${owner:-no package}', not a dependency"
  done
done

echo "== what the package holds"
check_layout() {  # <root of the installed tree>
  local prefix=$1/usr size file entry exec icon
  for program in bramis-programmer bramis-flash bramis-devsim; do
    [[ -x $prefix/bin/$program ]] && pass "bin/$program" || fail "no bin/$program"
  done
  cmp -s "$prefix/share/bramis/bramis-programmer.html" res/bramis-programmer.html \
    && pass "help page in share/bramis" || fail "no help page in share/bramis"
  cmp -s "$prefix/lib/udev/rules.d/$udev_rule" "res/$udev_rule" \
    && pass "udev rule in lib/udev/rules.d" || fail "no $udev_rule in lib/udev/rules.d"
  entry=$prefix/share/applications/bramis-programmer.desktop
  if [[ -f $entry ]]; then
    desktop-file-validate "$entry" && pass "desktop entry valid" || fail "desktop entry invalid"
    grep -qx 'Name=Программатор Брамис' "$entry" && pass "menu name" || fail "menu name not the window title"
    exec=$(sed -n 's/^Exec=//p' "$entry")
    [[ -x $prefix/bin/$exec ]] && pass "Exec=$exec is installed" || fail "Exec=$exec is not in bin/"
    icon=$(sed -n 's/^Icon=//p' "$entry")
  else
    fail "no desktop entry"
  fi
  for size in 16 32 48 64 128 256; do
    file=$prefix/share/icons/hicolor/${size}x${size}/apps/${icon:-bramis-programmer}.png
    [[ $(file -b "$file" 2>/dev/null) == *"PNG image data, $size x $size,"* ]] \
      && pass "icon ${size}x${size}" || fail "no ${size}x${size} icon for Icon=${icon:-}"
  done
}
check_layout "$root"

# Finds the programmer's window on the X display and prints its id.
find_window() {
  local id
  for _ in $(seq 100); do
    id=$(xwininfo -root -tree | awk '/\("bramis-programmer" "bramis-programmer"\)/ { print $1; exit }')
    [[ -n $id ]] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

# Runs on the X server: the window's properties, then the help command through the
# menu "?" (Alt+?, Enter on its first item). Prints what it saw.
probe_window() {  # <bin folder> <record of opened URLs>
  local bin=$1 opened=$2 pid id
  "$bin/bramis-programmer" & pid=$!
  if ! id=$(find_window); then
    echo "window: none"
    kill "$pid"
    return 1
  fi
  xprop -id "$id" WM_CLASS _NET_WM_NAME
  xprop -id "$id" _NET_WM_ICON | head -n 1 | cut -c 1-60
  timeout 10 xdotool windowfocus --sync "$id" || true
  for _ in 1 2 3; do
    xdotool key Escape alt+question
    sleep 1
    xdotool key Return
    for _ in $(seq 25); do
      [[ -s $opened ]] && break 2
      sleep 0.2
    done
  done
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

run_programs() {  # <bin folder> <the help page it must open>
  local bin=$1 help=$2 out=$work/out rc pty devsim
  "$bin/bramis-flash" --help >"$out" 2>&1 && grep -q '^Использование' "$out" \
    && pass "bramis-flash --help" || fail "bramis-flash --help: $(head -n 3 "$out")"

  "$bin/bramis-devsim" >"$work/devsim.out" 2>"$work/devsim.err" &
  devsim=$!
  pids+=("$devsim")
  for _ in $(seq 100); do
    [[ -s $work/devsim.out ]] && break
    sleep 0.1
  done
  pty=$(head -n 1 "$work/devsim.out")
  if [[ -c $pty ]]; then
    pass "bramis-devsim serves $pty"
    "$bin/bramis-flash" --device "$pty" --wait 20 version >"$out" 2>&1 && grep -q 'Версия загрузчика 01.00' "$out" \
      && pass "bramis-flash reads the version from bramis-devsim" || fail "bramis-flash version: $(tail -n 2 "$out")"
  else
    fail "bramis-devsim printed no terminal: $(head -n 3 "$work/devsim.err")"
  fi
  kill "$devsim"
  wait "$devsim" 2>/dev/null || true

  # The window runs until it is closed: still running after 5 s is a start.
  rc=0
  QT_QPA_PLATFORM=offscreen timeout 5 "$bin/bramis-programmer" >"$out" 2>&1 || rc=$?
  [[ $rc -eq 124 ]] && pass "bramis-programmer starts offscreen" || fail "bramis-programmer offscreen ended with $rc: $(tail -n 3 "$out")"

  mkdir -p "$work/fakebin"
  rm -f "$work/opened"
  printf '#!/bin/sh\nprintf "%%s\\n" "$@" >> %q\n' "$work/opened" >"$work/fakebin/xdg-open"
  chmod +x "$work/fakebin/xdg-open"
  DISPLAY=$display PATH=$work/fakebin:$PATH probe_window "$bin" "$work/opened" >"$out" 2>&1 || true
  grep -q '^WM_CLASS(STRING) = "bramis-programmer", "bramis-programmer"' "$out" \
    && pass "window class bramis-programmer (the desktop entry's)" || fail "window: $(head -n 3 "$out")"
  grep -q '^_NET_WM_NAME(UTF8_STRING) = "Программатор Брамис"' "$out" \
    && pass "window title" || fail "window title: $(grep _NET_WM_NAME "$out")"
  grep -q 'Icon (32 x 32)' "$out" && pass "window icon" || fail "window has no 32x32 icon"
  if [[ -s $work/opened ]] && [[ $(head -n 1 "$work/opened") == "file://$help" ]]; then
    pass "help command opens $help"
  else
    fail "help command opened '$(cat "$work/opened" 2>/dev/null)', not $help"
  fi
}

echo "== programs of the unpacked package"
run_programs "$root/usr/bin" "$root/usr/share/bramis/bramis-programmer.html"

if [[ $real_install == yes ]]; then
  if [[ ${#as_root[@]} -gt 0 ]] && ! sudo -n true 2>/dev/null; then
    fail "a real install needs root or sudo without a password (or pass --no-install)"
  elif dpkg-query -W -f='${Status}' bramis-programmer 2>/dev/null | grep -q "install ok installed"; then
    fail "bramis-programmer is installed on this machine already; not replacing it (or pass --no-install)"
  else
    echo "== apt-get install $deb"
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y "$deb" >"$work/apt.out" 2>&1 \
      || { cat "$work/apt.out" >&2; exit 1; }
    installed=yes
    check_layout /
    # udevadm reads every rule file for a test event; a line it cannot parse is named.
    complaints=$(udevadm test --action=add /sys/class/tty/tty 2>&1 | grep -F "$udev_rule:" || true)
    [[ -z $complaints ]] && pass "udevadm reads the rule without complaint" || fail "udev rule: $complaints"
    run_programs /usr/bin /usr/share/bramis/bramis-programmer.html
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get remove -y --purge bramis-programmer >/dev/null
    installed=no
    [[ ! -e /usr/bin/bramis-programmer && ! -e /usr/share/bramis && ! -e /usr/lib/udev/rules.d/$udev_rule ]] \
      && pass "removed without leftovers" || fail "files left after removal"
  fi
fi

if ((failures)); then
  echo "package-test: $failures check(s) failed" >&2
  exit 1
fi
echo "package-test: all checks passed"
