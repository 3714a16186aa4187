# Packages of the installed layout (cmake/install.cmake). On Linux a Debian
# package: cd <build> && cpack -G DEB, then apt-get install ./bramis-programmer_*.deb
set(CPACK_PACKAGE_NAME "bramis-programmer")
set(CPACK_PACKAGE_VENDOR "Orvy")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Программатор Брамис writes a firmware image (.dat) into a Bramis device\n"
  "through its serial bootloader and reads the device's program back.\n"
  "The package holds the programmer's window (bramis-programmer, in Russian),\n"
  "the command-line programmer bramis-flash and the device emulator\n"
  "bramis-devsim. To open serial ports, a user must be in the dialout group.")
set(CPACK_PACKAGE_CONTACT "Bramis programmer maintainers <maintainers@bramis.invalid>"
    CACHE STRING "Maintainer named in the packages")
set(CPACK_STRIP_FILES TRUE)

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
  set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
  set(_bramis_depends "")
  if(TARGET bramis-programmer)
    # Qt loads its platform plugins at run time, so no library names them; the
    # xcb and offscreen plugins come with libqt6gui6, the others with this one.
    list(APPEND _bramis_depends "qt6-qpa-plugins")
    # Qt's own dialogs and buttons in Russian (qtbase_ru.qm).
    list(APPEND _bramis_depends "qt6-translations-l10n")
    # The help page opens in the desktop's browser.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
  endif()
  find_program(BRAMIS_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(BRAMIS_DPKG_SHLIBDEPS)
    # The libraries the programs are linked with, at the versions they need.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    message(STATUS "dpkg-shlibdeps not found (package dpkg-dev): the .deb names its libraries without versions")
    list(APPEND _bramis_depends libc6 libstdc++6 libgcc-s1)
    if(TARGET bramis-programmer)
      list(APPEND _bramis_depends libqt6core6 libqt6gui6 libqt6widgets6)
    endif()
  endif()
  list(JOIN _bramis_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
endif()

include(CPack)
