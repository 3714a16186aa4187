# Cross-compiling the whole program for 64-bit Windows with Debian's mingw-w64
# (g++-mingw-w64-x86-64-posix) against Qt built for it by
# scripts/build-qt-windows.sh. The programs use the mingw runtime as DLLs, as
# Qt's own DLLs do, so that one C++ runtime serves the whole process; the
# build deploys those DLLs beside the programs (cmake/windows-runtime.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64-compilers.cmake)

# Where the Qt build script keeps its prefix, unless BRAMIS_QT_PREFIX says otherwise.
if(DEFINED ENV{BRAMIS_QT_CACHE})
  set(_bramis_qt_cache "$ENV{BRAMIS_QT_CACHE}")
else()
  set(_bramis_qt_cache "$ENV{HOME}/.cache/bramis")
endif()
set(BRAMIS_QT_PREFIX "${_bramis_qt_cache}/qt6.4.2-mingw64" CACHE PATH
    "Qt 6 for x86_64-w64-mingw32 (made by scripts/build-qt-windows.sh)")
# Only Windows packages: the host's own Qt must never be taken by mistake.
list(APPEND CMAKE_FIND_ROOT_PATH "${BRAMIS_QT_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Qt's build tools (moc, rcc) are the host's, from qt6-base-dev-tools.
set(QT_HOST_PATH /usr CACHE PATH "Host Qt with the build tools")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "Host Qt's CMake packages")

# Tests and test discovery run the Windows programs under Wine when it is there
# (Debian's wine64 installs no wrapper on the PATH, hence the extra hint).
find_program(BRAMIS_WINE NAMES wine64 wine HINTS /usr/lib/wine)
if(BRAMIS_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${BRAMIS_WINE}")
endif()
