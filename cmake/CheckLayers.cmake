# The layer check: every #include of a header of the repository goes downward, as
# cmake/Layers.cmake says, or the check fails.
#
#   cmake -DROOT=<repository> [-DSTAMP=<file>] -P cmake/CheckLayers.cmake
#
# Reads the C and C++ files of every folder of the table under ROOT. An include is a header
# of the repository when the path (first looked for beside the including file, for quoted
# includes) starts with a top-level folder of ROOT. Prints one line per include that goes
# against the table and fails; on success touches STAMP when it is given.
cmake_minimum_required(VERSION 3.25)
if(NOT ROOT)
  message(FATAL_ERROR "CheckLayers.cmake: ROOT is not set")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/Layers.cmake)
get_filename_component(ROOT "${ROOT}" ABSOLUTE)

# The table: RV_UNITS and, for each unit U, allowed_U (U itself and what it may include).
set(RV_UNITS "")
foreach(row IN LISTS RV_LAYERS)
  if(NOT row MATCHES "^([^:]+):(.*)$")
    message(FATAL_ERROR "cmake/Layers.cmake: a row without a colon: '${row}'")
  endif()
  set(unit "${CMAKE_MATCH_1}")
  string(STRIP "${CMAKE_MATCH_2}" deps)
  string(REGEX REPLACE "[ \t]+" ";" deps "${deps}")
  list(APPEND RV_UNITS "${unit}")
  set("allowed_${unit}" "${unit}" ${deps})
endforeach()

# The platform files' extra units: platform_P for each platform suffix P.
foreach(row IN LISTS RV_PLATFORM_LAYERS)
  if(NOT row MATCHES "^([^:]+):(.*)$")
    message(FATAL_ERROR "cmake/Layers.cmake: a platform row without a colon: '${row}'")
  endif()
  set(platform "${CMAKE_MATCH_1}")
  string(STRIP "${CMAKE_MATCH_2}" deps)
  string(REGEX REPLACE "[ \t]+" ";" deps "${deps}")
  set("platform_${platform}" ${deps})
endforeach()

# unit_of(<path relative to ROOT> <out>): the longest unit that holds the path, or "".
function(unit_of path out)
  set(best "")
  set(bestLength 0)
  foreach(unit IN LISTS RV_UNITS)
    string(LENGTH "${unit}/" n)
    string(SUBSTRING "${path}" 0 ${n} head)
    if(head STREQUAL "${unit}/" AND n GREATER bestLength)
      set(best "${unit}")
      set(bestLength ${n})
    endif()
  endforeach()
  set(${out} "${best}" PARENT_SCOPE)
endfunction()

# The top-level folders of the repository: an include that starts with one of them is a
# header of the repository.
file(GLOB entries RELATIVE "${ROOT}" "${ROOT}/*")
set(topFolders "")
foreach(e IN LISTS entries)
  if(IS_DIRECTORY "${ROOT}/${e}" AND NOT e MATCHES "^\\.")
    list(APPEND topFolders "${e}")
  endif()
endforeach()

set(files "")
foreach(unit IN LISTS RV_UNITS)
  file(GLOB_RECURSE found "${ROOT}/${unit}/*.h" "${ROOT}/${unit}/*.hpp" "${ROOT}/${unit}/*.c"
       "${ROOT}/${unit}/*.cc" "${ROOT}/${unit}/*.cpp" "${ROOT}/${unit}/*.in")
  list(APPEND files ${found})
endforeach()
list(REMOVE_DUPLICATES files)
list(SORT files)

set(violations 0)
foreach(f IN LISTS files)
  file(RELATIVE_PATH rel "${ROOT}" "${f}")
  unit_of("${rel}" fileUnit)
  set(allowed ${allowed_${fileUnit}})
  if(rel MATCHES "_(win32|posix)\\.[a-z]+$")
    list(APPEND allowed ${platform_${CMAKE_MATCH_1}})
  endif()
  get_filename_component(dir "${f}" DIRECTORY)
  file(STRINGS "${f}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "include[ \t]*([<\"])([^>\"]+)[>\"]")
      continue()
    endif()
    set(quoted "${CMAKE_MATCH_1}")
    set(path "${CMAKE_MATCH_2}")
    # A quoted include is first looked for beside the including file (a path that starts
    # with ./ or ../ is taken from there even when it names no file).
    set(target "${path}")
    if(quoted STREQUAL "\"" AND (path MATCHES "^\\.\\.?/" OR (EXISTS "${dir}/${path}" AND NOT IS_DIRECTORY "${dir}/${path}")))
      get_filename_component(abs "${dir}/${path}" ABSOLUTE)
      file(RELATIVE_PATH target "${ROOT}" "${abs}")
    endif()
    string(REGEX REPLACE "^(\\./)+" "" target "${target}")
    if(target MATCHES "^\\.\\./")
      continue()  # outside the repository
    endif()
    string(REGEX REPLACE "/.*" "" top "${target}")
    if(NOT target MATCHES "/" OR NOT top IN_LIST topFolders)
      continue()  # a header of the system or of a library
    endif()
    unit_of("${target}" targetUnit)
    if(targetUnit STREQUAL "" OR NOT targetUnit IN_LIST allowed)
      if(targetUnit STREQUAL "")
        set(targetUnit "${top}")
      endif()
      string(REPLACE ";" " " may "${allowed}")
      message("${rel}: ${line}: ${fileUnit}/ may not include ${targetUnit}/ (it may include: ${may})")
      math(EXPR violations "${violations} + 1")
    endif()
  endforeach()
endforeach()

if(violations GREATER 0)
  message(FATAL_ERROR "layer check: ${violations} include(s) go against cmake/Layers.cmake")
endif()
if(STAMP)
  file(TOUCH "${STAMP}")
endif()
