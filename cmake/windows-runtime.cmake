# The DLLs a Windows build of the programs loads, beside the programs: the
# mingw runtime, Qt and its plugins, and Qt's Russian texts. In the build tree
# every executable lands in one folder, bin/, where they are copied while
# configuring, so that the programs and tests run there under Wine; the
# installer and the zip get the same files through install().
# Included before the layers, as it sets where executables go.
if(NOT WIN32)
  return()
endif()

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
file(MAKE_DIRECTORY "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")

# Copies `source` into the folder `destination` under bin/, in the build tree
# and in the installed layout.
function(_bramis_runtime_file destination source)
  if(NOT EXISTS "${source}")
    message(FATAL_ERROR "${source} is missing; the Windows programs need it beside them")
  endif()
  file(COPY "${source}" DESTINATION "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${destination}")
  install(FILES "${source}" DESTINATION "bin/${destination}")
endfunction()

# The compiler's own runtime, as Qt's DLLs were built with it. Debian ships it
# with its symbols (libstdc++ alone is 24 MB); the programs get it stripped.
foreach(_bramis_dll IN ITEMS libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=${_bramis_dll}
                  OUTPUT_VARIABLE _bramis_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  cmake_path(NORMAL_PATH _bramis_path)
  set(_bramis_stripped "${PROJECT_BINARY_DIR}/runtime/${_bramis_dll}")
  if(NOT EXISTS "${_bramis_stripped}" OR "${_bramis_path}" IS_NEWER_THAN "${_bramis_stripped}")
    file(MAKE_DIRECTORY "${PROJECT_BINARY_DIR}/runtime")
    execute_process(COMMAND "${CMAKE_STRIP}" --strip-unneeded -o "${_bramis_stripped}" "${_bramis_path}"
                    RESULT_VARIABLE _bramis_strip_result)
    if(NOT _bramis_strip_result EQUAL 0)
      message(FATAL_ERROR "could not strip ${_bramis_path} with ${CMAKE_STRIP}")
    endif()
  endif()
  _bramis_runtime_file(. "${_bramis_stripped}")
endforeach()

# Qt as found for the target (Qt6::Core's DLL, and so on).
foreach(_bramis_qt IN ITEMS Core Gui Widgets)
  if(TARGET Qt6::${_bramis_qt})
    get_target_property(_bramis_path Qt6::${_bramis_qt} IMPORTED_LOCATION_RELEASE)
    _bramis_runtime_file(. "${_bramis_path}")
  endif()
endforeach()
if(TARGET Qt6::Widgets)
  foreach(_bramis_plugin IN ITEMS QWindowsIntegrationPlugin QWindowsVistaStylePlugin)
    get_target_property(_bramis_path Qt6::${_bramis_plugin} IMPORTED_LOCATION_RELEASE)
    get_target_property(_bramis_type Qt6::${_bramis_plugin} QT_PLUGIN_TYPE)
    _bramis_runtime_file(${_bramis_type} "${_bramis_path}")
  endforeach()
  # Qt's standard buttons and dialogs in Russian (Debian's qt6-translations-l10n).
  set(BRAMIS_QT_RUSSIAN_TEXTS /usr/share/qt6/translations/qtbase_ru.qm CACHE FILEPATH
      "Qt's Russian translation to ship (qtbase_ru.qm)")
  _bramis_runtime_file(translations "${BRAMIS_QT_RUSSIAN_TEXTS}")
endif()

# Only the tests use QtTest and the offscreen platform: beside them, not installed.
if(BRAMIS_TESTS AND TARGET Qt6::Test)
  get_target_property(_bramis_path Qt6::Test IMPORTED_LOCATION_RELEASE)
  file(COPY "${_bramis_path}" DESTINATION "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
  get_target_property(_bramis_path Qt6::QOffscreenIntegrationPlugin IMPORTED_LOCATION_RELEASE)
  file(COPY "${_bramis_path}" DESTINATION "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/platforms")
endif()
