# rv_sources(<variable> <glob>...)
#
# The C++ files matching the globs that are built for the target platform. Where a piece is
# platform work at heart, its files carry the platform in their name: one ending in
# _win32.cpp is built for Windows only, one ending in _posix.cpp everywhere else; every other
# file is built everywhere. Every folder picks its sources through this function.
function(rv_sources out)
  file(GLOB found CONFIGURE_DEPENDS ${ARGN})
  if(WIN32)
    list(FILTER found EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER found EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  set(${out} ${found} PARENT_SCOPE)
endfunction()
