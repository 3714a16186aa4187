# Packages of the installed layout (cmake/install.cmake). On Linux a Debian
# package: cd <build> && cpack -G DEB, then apt-get install ./bramis-programmer_*.deb
# For Windows an installer and a portable zip of the same folder:
# cd build/windows-cross && cpack (makensis from Debian's nsis).
set(CPACK_PACKAGE_NAME "bramis-programmer")
set(CPACK_PACKAGE_VENDOR "Orvy")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Программатор Брамис writes a firmware image (.dat) into a Bramis device\n"
  "through its serial bootloader and reads the device's program back.\n"
  "The package holds the programmer's window (bramis-programmer, in Russian),\n"
  "the command-line programmer bramis-flash and the device emulator\n"
  "bramis-devsim. Its udev rule lets the logged-in user open FTDI, CH340/CH341,\n"
  "CP210x and PL2303 adapters and keeps ModemManager off them; other serial\n"
  "ports need the dialout group.")
set(CPACK_PACKAGE_CONTACT "Bramis programmer maintainers <maintainers@bramis.invalid>"
    CACHE STRING "Maintainer named in the packages")
set(CPACK_STRIP_FILES TRUE)

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
  set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
  # Installing and removing the package reloads the udev rules.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PROJECT_SOURCE_DIR}/res/debian/postinst;${PROJECT_SOURCE_DIR}/res/debian/postrm")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
  set(_bramis_depends "")
  if(TARGET bramis-programmer)
    # Qt loads its platform plugins at run time, so no library names them; the
    # xcb and offscreen plugins come with libqt6gui6, the others with this one.
    list(APPEND _bramis_depends "qt6-qpa-plugins")
    # Qt's own dialogs and buttons in Russian (qtbase_ru.qm).
    list(APPEND _bramis_depends "qt6-translations-l10n")
    # The help page opens in the desktop's browser. The Open and Save dialogs
    # are the desktop's own through Qt's GTK theme (GNOME, Xfce, MATE,
    # Cinnamon) or the desktop portal, which Qt picks by itself once installed.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, qt6-gtk-platformtheme, qt6-xdgdesktopportal-platformtheme")
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

if(WIN32)
  set(CPACK_GENERATOR NSIS ZIP)
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-win64")
  # One folder, the same for every version, so that a newer installer
  # replaces the older one in place. A 64-bit installer (Wine and Windows on
  # 64 bits run it without the 32-bit subsystem), Unicode for the Cyrillic names.
  set(CPACK_NSIS_DEFINES "Target amd64-unicode")
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  set(CPACK_PACKAGE_INSTALL_DIRECTORY "Программатор Брамис")
  set(CPACK_NSIS_PACKAGE_NAME "Программатор Брамис")
  set(CPACK_NSIS_DISPLAY_NAME "Программатор Брамис")
  # The installer's own key in the registry (Software\Orvy\bramis-programmer,
  # which the uninstaller deletes), apart from the user's settings under
  # Software\Orvy\TOLVA upgrade, which it keeps.
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "bramis-programmer")
  # The Start-menu entry, and on the installer's options page a desktop
  # shortcut and bramis-flash on the PATH, both if asked.
  set(CPACK_PACKAGE_EXECUTABLES "bramis-programmer" "Программатор Брамис")
  set(CPACK_CREATE_DESKTOP_LINKS "bramis-programmer")
  set(CPACK_NSIS_MODIFY_PATH ON)
  set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/res/bramis.ico")
  set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/res/bramis.ico")
  set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\bramis-programmer.exe")
  # Over an existing installation: its uninstaller runs first (silently), then
  # the new files go into the same folder.
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
endif()

include(CPack)
