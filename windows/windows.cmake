# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows build (cross-built with windows/mingw-w64-x86_64.cmake): every program one
# self-contained executable, with the C and C++ runtimes, winpthread, Qt and SQLite linked in.
# The stack protector (as on Linux) needs its library named at the link.
add_link_options(-static -fstack-protector-strong)
# Windows 10 and later; the wide (UTF-16) Windows functions.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)

# An installed copy (the installer's, in Program Files) has this file beside the executable and
# always keeps the user's files in %APPDATA%\touchdrill\.
set(TOUCHDRILL_INSTALLED_MARKER installed-mode)

# The version resource takes the version as four numbers.
set(TOUCHDRILL_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")

# The program's icon, drawn from its SVG at each size Windows asks for.
set(TOUCHDRILL_ICO ${CMAKE_BINARY_DIR}/windows/touchdrill.ico)
add_custom_command(OUTPUT ${TOUCHDRILL_ICO}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/windows
  COMMAND sh ${PROJECT_SOURCE_DIR}/windows/make-icon.sh ${PROJECT_SOURCE_DIR}/app/touchdrill.svg ${TOUCHDRILL_ICO}
  DEPENDS ${PROJECT_SOURCE_DIR}/app/touchdrill.svg ${PROJECT_SOURCE_DIR}/windows/make-icon.sh
  COMMENT "Making touchdrill.ico"
  VERBATIM)
add_custom_target(touchdrill_icon DEPENDS ${TOUCHDRILL_ICO})
configure_file(${PROJECT_SOURCE_DIR}/windows/touchdrill.rc.in ${CMAKE_BINARY_DIR}/windows/touchdrill.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/windows/touchdrill.rc PROPERTIES
  OBJECT_DEPENDS "${TOUCHDRILL_ICO};${PROJECT_SOURCE_DIR}/windows/touchdrill.manifest")
set(TOUCHDRILL_WINDOWS_RC ${CMAKE_BINARY_DIR}/windows/touchdrill.rc)

# -O2 as the Linux build has it; GCC 12 at -O3 also warns falsely of overlapping copies inside
# std::string.
string(REPLACE "-O3" "-O2" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")
string(REPLACE "-O3" "-O2" CMAKE_C_FLAGS_RELEASE "${CMAKE_C_FLAGS_RELEASE}")
# The shipped executable without its symbol table.
add_link_options($<$<CONFIG:Release>:-s>)
