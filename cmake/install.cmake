# The installed layout (cmake --install, and the packages made from it):
#   bin/                          bramis-programmer, bramis-flash, bramis-devsim
#   share/bramis/                 the help page (on Windows: beside the programs)
#   share/applications/           bramis-programmer.desktop (the desktop menu entry)
#   share/icons/hicolor/NxN/apps/ bramis-programmer.png at each size of the icon
#   lib/udev/rules.d/             70-bramis-usb-serial.rules (Linux: USB-serial adapters)
# Included after the layers, as it names their targets.
include(GNUInstallDirs)

foreach(_bramis_program IN ITEMS bramis-programmer bramis-flash bramis-devsim)
  if(TARGET ${_bramis_program})
    install(TARGETS ${_bramis_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # udev's own folder (not the multiarch library folder): /usr/lib/udev/rules.d.
  install(FILES ${PROJECT_SOURCE_DIR}/res/70-bramis-usb-serial.rules DESTINATION lib/udev/rules.d)
endif()

if(TARGET bramis-programmer)
  if(WIN32)
    # Beside the program, where it looks first.
    install(FILES ${PROJECT_SOURCE_DIR}/res/bramis-programmer.html DESTINATION ${CMAKE_INSTALL_BINDIR})
  else()
    set(_bramis_helpdir "${CMAKE_INSTALL_DATADIR}/bramis")
    install(FILES ${PROJECT_SOURCE_DIR}/res/bramis-programmer.html DESTINATION ${_bramis_helpdir})
    # The program finds it relative to its own folder, so an installed tree may move.
    cmake_path(ABSOLUTE_PATH CMAKE_INSTALL_BINDIR BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}"
               OUTPUT_VARIABLE _bramis_bindir)
    cmake_path(ABSOLUTE_PATH _bramis_helpdir BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}")
    file(RELATIVE_PATH _bramis_help_from_bin "${_bramis_bindir}" "${_bramis_helpdir}")
    target_compile_definitions(bramis_app PRIVATE BRAMIS_INSTALLED_HELP_DIR="${_bramis_help_from_bin}")
  endif()

  if(UNIX AND NOT APPLE)
    install(FILES ${PROJECT_SOURCE_DIR}/res/bramis-programmer.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    foreach(_bramis_size IN ITEMS 16 32 48 64 128 256)
      install(FILES ${PROJECT_SOURCE_DIR}/res/icon-${_bramis_size}.png
              DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_bramis_size}x${_bramis_size}/apps
              RENAME bramis-programmer.png)
    endforeach()
  endif()
endif()
