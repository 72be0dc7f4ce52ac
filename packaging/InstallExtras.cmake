# Install-time part of the install: run by `cmake --install` (included from the generated
# cmake_install.cmake), so CMAKE_INSTALL_PREFIX is the prefix actually installed to, also
# when it is given with --prefix. Expects:
#   SONDREL_APP_DIR           the program folder, relative to the prefix (lib/sondrel)
#   SONDREL_DESKTOP_TEMPLATE  sondrel.desktop.in
#   SONDREL_MIME_TYPES_FILE   the MimeType value, listed at build time from the input formats
# It makes bin/sondrel a relative link to the program in its folder (the program finds its
# skin and help beside its real path, which the link leads to) and writes the menu entry
# with the program's full path.

set(_prefix "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

# bin/sondrel -> ../lib/sondrel/sondrel
file(RELATIVE_PATH _target "${CMAKE_INSTALL_PREFIX}/bin" "${CMAKE_INSTALL_PREFIX}/${SONDREL_APP_DIR}/sondrel")
set(_link "${_prefix}/bin/sondrel")
file(MAKE_DIRECTORY "${_prefix}/bin")
if(IS_SYMLINK "${_link}" OR EXISTS "${_link}")
  file(REMOVE "${_link}")
endif()
message(STATUS "Installing: ${_link} -> ${_target}")
file(CREATE_LINK "${_target}" "${_link}" SYMBOLIC)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_link}")

# The menu entry. Exec holds the program's full path; a path with characters that the
# desktop entry format reserves is quoted and escaped as that format asks.
set(_exe "${CMAKE_INSTALL_PREFIX}/bin/sondrel")
set(SONDREL_DESKTOP_TRYEXEC "${_exe}")
string(REPLACE "\\" "\\\\" SONDREL_DESKTOP_TRYEXEC "${SONDREL_DESKTOP_TRYEXEC}")
set(_arg "${_exe}")
if(_arg MATCHES "[ \t\"'\\\\><~|&;$*?#()`]")
  # Inside quotes: escape " ` $ \ with a backslash ...
  string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" _arg "${_arg}")
  set(_arg "\"${_arg}\"")
  # ... then the string level doubles every backslash.
  string(REPLACE "\\" "\\\\" _arg "${_arg}")
endif()
# A literal % is written %%.
string(REPLACE "%" "%%" SONDREL_DESKTOP_EXEC "${_arg}")
if(NOT EXISTS "${SONDREL_MIME_TYPES_FILE}")
  message(FATAL_ERROR "${SONDREL_MIME_TYPES_FILE} is missing: build before installing")
endif()
file(READ "${SONDREL_MIME_TYPES_FILE}" SONDREL_MIME_TYPES)
string(STRIP "${SONDREL_MIME_TYPES}" SONDREL_MIME_TYPES)
set(_desktop "${_prefix}/share/applications/sondrel.desktop")
message(STATUS "Installing: ${_desktop}")
configure_file("${SONDREL_DESKTOP_TEMPLATE}" "${_desktop}" @ONLY)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_desktop}")
