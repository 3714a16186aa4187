#!/usr/bin/env bash
# Qt 6 for 64-bit Windows: QtCore, QtGui, QtWidgets and QtTest as DLLs for
# x86_64-w64-mingw32, cross-built from Debian's own qt6-base source with its
# patch series, into a cache folder outside the source tree:
#
#   ${BRAMIS_QT_CACHE:-$HOME/.cache/bramis}/qt6.4.2-mingw64
#
#   bash scripts/build-qt-windows.sh
#
# A complete prefix there is reused. Otherwise the prefix is unpacked from a
# prepared copy, ../shared/cache/qt6.4.2-mingw64.tar.xz beside the clone, when
# its SHA-256 matches, or built from source (about 30 minutes on 2 cores).
# The marker file is written last, so an interrupted build or unpacking is
# seen as incomplete and done again. The last line printed is the prefix.
# Needs root (or sudo) only to add deb-src to apt's sources.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

qt_version=6.4.2
cache=${BRAMIS_QT_CACHE:-$HOME/.cache/bramis}
prefix=$cache/qt$qt_version-mingw64
marker=$prefix/.bramis-qt-complete
seed=$root/../shared/cache/qt$qt_version-mingw64.tar.xz
say() { echo "build-qt-windows: $*" >&2; }
die() { say "ERROR: $*"; exit 1; }

if [[ -f $marker ]]; then
  say "reusing the complete Qt $qt_version prefix in $prefix"
  echo "$prefix"
  exit 0
fi
if [[ -e $prefix ]]; then
  say "$prefix is incomplete (an interrupted build?): removing it"
  rm -rf "$prefix"
fi
mkdir -p "$cache"

if [[ -f $seed && -f $seed.sha256 ]]; then
  say "checking the prepared prefix $seed"
  if (cd "$(dirname "$seed")" && sha256sum --quiet -c "$(basename "$seed").sha256"); then
    tar -xJf "$seed" -C "$cache"
    [[ -f $prefix/lib/cmake/Qt6/Qt6Config.cmake ]] || die "$seed did not unpack to $prefix"
    echo "seeded from $(basename "$seed") $(cut -d' ' -f1 "$seed.sha256")" >"$marker"
    say "unpacked the prepared prefix into $prefix"
    echo "$prefix"
    exit 0
  fi
  say "the SHA-256 of $seed does not match: building from source instead"
fi

# What the build needs, named by Debian package.
need_program() {
  command -v "$1" >/dev/null || die "$1 is missing (apt-get install $2)"
}
need_program x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
need_program x86_64-w64-mingw32-gcc-posix gcc-mingw-w64-x86-64-posix
need_program cmake cmake
need_program ninja ninja-build
need_program patch patch
need_program apt-get apt
[[ -x /usr/lib/qt6/libexec/moc ]] || die "Qt's host tools are missing (apt-get install qt6-base-dev-tools)"
[[ -f /usr/lib/x86_64-linux-gnu/cmake/Qt6CoreTools/Qt6CoreToolsConfig.cmake ]] ||
  die "the host Qt's CMake packages are missing (apt-get install qt6-base-dev)"
# The source must be the very version of the host tools.
debian_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
[[ $debian_version == "$qt_version"+* ]] ||
  die "qt6-base-dev-tools is $debian_version, this script builds Qt $qt_version"

work=$cache/qt$qt_version-mingw64-build
rm -rf "$work"
mkdir -p "$work/source"

say "step 1/4: fetching Debian's qt6-base $debian_version source"
as_root=()
[[ $(id -u) -eq 0 ]] || as_root=(sudo)
if ! apt-get source --download-only --print-uris "qt6-base=$debian_version" >/dev/null 2>&1; then
  sources=/etc/apt/sources.list.d/debian.sources
  [[ -f $sources ]] || die "no source packages known to apt and no $sources to add deb-src to"
  say "adding deb-src to $sources"
  "${as_root[@]}" sed -i 's/^Types: deb$/Types: deb deb-src/' "$sources"
  "${as_root[@]}" apt-get update >/dev/null || die "apt-get update failed after adding deb-src"
fi
(cd "$work" && apt-get source --download-only "qt6-base=$debian_version" >/dev/null) ||
  die "apt-get source qt6-base=$debian_version failed"
orig=$(ls "$work"/qt6-base_*.orig.tar.* 2>/dev/null | head -n 1)
debian=$(ls "$work"/qt6-base_*.debian.tar.* 2>/dev/null | head -n 1)
[[ -n $orig && -n $debian ]] || die "apt-get source left no orig and debian tarballs in $work"

say "step 2/4: unpacking and applying Debian's patch series"
tar -xf "$orig" -C "$work/source" --strip-components=1
tar -xf "$debian" -C "$work/source"
while read -r entry _; do
  [[ -z $entry || $entry == \#* ]] && continue
  patch -d "$work/source" -p1 -s <"$work/source/debian/patches/$entry" ||
    die "Debian's patch $entry does not apply"
done <"$work/source/debian/patches/series"
# Without Direct2D the Windows plugin must not reach for the DirectWrite font
# database, which QtGui then leaves out.
patch -d "$work/source" -p1 -s <"$root/scripts/windows/qt-6.4.2-directwrite-font-database-needs-direct2d.patch" ||
  die "the DirectWrite font database patch does not apply"

say "step 3/4: configuring (about 2 minutes)"
# Only what the program uses; the tablet code (src/3rdparty/wintab) is not in
# Debian's tarball. INPUT_opengl=no, unlike FEATURE_opengl=OFF alone, also
# turns off the dynamic OpenGL of the Windows plugin.
cmake -S "$work/source" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64-compilers.cmake" \
  -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=ON \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_pkg_config=OFF -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_dbus=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_printsupport=OFF -DFEATURE_testlib=ON \
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_icu=OFF -DFEATURE_zstd=OFF \
  -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF -DFEATURE_system_zlib=OFF \
  -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF -DFEATURE_jpeg=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF \
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_tabletevent=OFF \
  >"$work/configure.log" 2>&1 || die "configuring Qt failed; see $work/configure.log"

say "step 4/4: building and installing (about 30 minutes on 2 cores; log: $work/build.log)"
cmake --build "$work/build" -j "$(nproc)" >"$work/build.log" 2>&1 ||
  die "building Qt failed; see the end of $work/build.log"
cmake --install "$work/build" --strip >"$work/install.log" 2>&1 ||
  die "installing Qt into $prefix failed; see $work/install.log"
echo "built from Debian's qt6-base $debian_version" >"$marker"
rm -rf "$work"
say "built Qt $qt_version for Windows into $prefix"
echo "$prefix"
