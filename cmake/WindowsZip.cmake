# The zip a Windows administrator unpacks and runs: one folder,
# Corvane-<version>, holding corvane.exe beside the Qt and MinGW run-time DLLs
# it loads and the two plugins Qt looks for in the program's folder. Nothing
# is installed and nothing else is needed.

set(CORVANE_ZIP_NAME Corvane-${PROJECT_VERSION}-win64)
set(CORVANE_ZIP ${CMAKE_SOURCE_DIR}/dist/${CORVANE_ZIP_NAME}.zip)
set(CORVANE_ZIP_FOLDER Corvane-${PROJECT_VERSION})
set(_root ${CMAKE_BINARY_DIR}/zip)
set(_stage ${_root}/${CORVANE_ZIP_FOLDER})

# The MinGW run time, from the compiler's own library folders.
set(_runtime)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${_path}" OR NOT EXISTS "${_path}")
    message(FATAL_ERROR "${dll} not found beside ${CMAKE_CXX_COMPILER}")
  endif()
  get_filename_component(_path "${_path}" REALPATH)
  list(APPEND _runtime "${_path}")
endforeach()

configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/README.txt.in ${_stage}/README.txt
  @ONLY NEWLINE_STYLE CRLF)

add_custom_target(windows_zip
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_stage}/platforms ${_stage}/styles
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_stage}/platforms ${_stage}/styles ${CMAKE_SOURCE_DIR}/dist
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:corvane> ${_stage}/
  COMMAND ${CMAKE_COMMAND} -E copy
    $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets> ${_runtime} ${_stage}/
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> ${_stage}/platforms/
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> ${_stage}/styles/
  # Debugging symbols would make most of the zip.
  COMMAND ${CMAKE_STRIP} --strip-unneeded corvane.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll
    libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll
    platforms/qwindows.dll styles/qwindowsvistastyle.dll
  COMMAND ${CMAKE_COMMAND} -E rm -f ${CORVANE_ZIP}
  # Packed from above the folder, so that everything unpacks into it.
  COMMAND ${CMAKE_COMMAND} -E chdir ${_root} ${CMAKE_COMMAND} -E tar cf ${CORVANE_ZIP} --format=zip --
    ${CORVANE_ZIP_FOLDER}/corvane.exe ${CORVANE_ZIP_FOLDER}/README.txt
    ${CORVANE_ZIP_FOLDER}/Qt6Core.dll ${CORVANE_ZIP_FOLDER}/Qt6Gui.dll ${CORVANE_ZIP_FOLDER}/Qt6Widgets.dll
    ${CORVANE_ZIP_FOLDER}/libstdc++-6.dll ${CORVANE_ZIP_FOLDER}/libgcc_s_seh-1.dll
    ${CORVANE_ZIP_FOLDER}/libwinpthread-1.dll
    ${CORVANE_ZIP_FOLDER}/platforms/qwindows.dll ${CORVANE_ZIP_FOLDER}/styles/qwindowsvistastyle.dll
  WORKING_DIRECTORY ${_stage}
  DEPENDS corvane
  COMMENT "Packing dist/${CORVANE_ZIP_NAME}.zip"
  VERBATIM)
