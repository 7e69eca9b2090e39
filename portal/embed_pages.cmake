# Builds the portal's pages into the program (no file is read at run time). Every file of
# portal/pages/ whose name ends in .html and does not start with "_" becomes a constant of the
# generated page_files.h (launcher_frame.html: portal::page_files::kLauncherFrame), after the
# build-time directives in it are carried out:
#   {{> NAME}}  the text of pages/NAME without its last line break, so that a directive on a
#               line of its own stands for the lines of the file (the shared _head.html, a
#               page's .css and .js); an included file may include others
#   {{! TEXT}}  a note for whoever edits the file: from the start of a line to the "}}" that
#               ends a line (it may span lines); left out of the page
# Every other {{KEY}} is a placeholder that the C++ fills at run time (Fill, html.h).
# Carriage returns are dropped, so a checkout with CRLF line ends serves the same bytes.
#
#   cmake -DPAGES=<portal/pages> -DOUT=<folder> -P embed_pages.cmake
# writes OUT/page_files.cpp, and OUT/page_files.h when the set of pages changed.
cmake_minimum_required(VERSION 3.20)
if(NOT PAGES OR NOT OUT)
  message(FATAL_ERROR "embed_pages.cmake: PAGES and OUT must be set")
endif()
get_filename_component(PAGES "${PAGES}" ABSOLUTE)
get_filename_component(OUT "${OUT}" ABSOLUTE)

# page_text(<file name> <out>): the file's text with CRs and notes removed.
function(page_text name out)
  if(NOT EXISTS "${PAGES}/${name}")
    message(FATAL_ERROR "portal/pages: '${name}' is included but does not exist")
  endif()
  file(READ "${PAGES}/${name}" text)
  string(REPLACE "\r" "" text "${text}")
  while(TRUE)
    string(FIND "${text}" "{{!" at)
    if(at EQUAL -1)
      break()
    endif()
    if(at GREATER 0)
      math(EXPR before "${at} - 1")
      string(SUBSTRING "${text}" ${before} 1 c)
      if(NOT c STREQUAL "\n")
        message(FATAL_ERROR "portal/pages/${name}: a {{! note must start a line")
      endif()
    endif()
    string(SUBSTRING "${text}" ${at} -1 rest)
    string(FIND "${rest}" "}}\n" end)
    if(end EQUAL -1)
      message(FATAL_ERROR "portal/pages/${name}: a {{! note must end with }} at the end of a line")
    endif()
    string(SUBSTRING "${text}" 0 ${at} head)
    math(EXPR skip "${end} + 3")
    string(SUBSTRING "${rest}" ${skip} -1 tail)
    set(text "${head}${tail}")
  endwhile()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# expand(<text> <depth> <out>): the text with every {{> NAME}} replaced by that file's text.
function(expand text depth out)
  if(depth GREATER 8)
    message(FATAL_ERROR "portal/pages: includes nested deeper than 8 (a loop?)")
  endif()
  set(done "")
  while(TRUE)
    string(FIND "${text}" "{{>" at)
    if(at EQUAL -1)
      break()
    endif()
    string(SUBSTRING "${text}" 0 ${at} head)
    string(SUBSTRING "${text}" ${at} -1 rest)
    string(FIND "${rest}" "}}" end)
    if(end EQUAL -1)
      message(FATAL_ERROR "portal/pages: a {{> directive without its }}")
    endif()
    math(EXPR name_length "${end} - 3")
    string(SUBSTRING "${rest}" 3 ${name_length} name)
    string(STRIP "${name}" name)
    math(EXPR skip "${end} + 2")
    string(SUBSTRING "${rest}" ${skip} -1 text)
    page_text("${name}" part)
    string(LENGTH "${part}" n)
    if(n GREATER 0)
      math(EXPR last "${n} - 1")
      string(SUBSTRING "${part}" ${last} 1 c)
      if(c STREQUAL "\n")
        string(SUBSTRING "${part}" 0 ${last} part)
      endif()
    endif()
    math(EXPR inner "${depth} + 1")
    expand("${part}" ${inner} part)
    string(APPEND done "${head}${part}")
  endwhile()
  set(${out} "${done}${text}" PARENT_SCOPE)
endfunction()

file(GLOB pages RELATIVE "${PAGES}" "${PAGES}/*.html")
list(SORT pages)
set(decls "")
set(defs "")
foreach(file IN LISTS pages)
  if(file MATCHES "^_")
    continue()
  endif()
  if(NOT file MATCHES "^([a-z][a-z0-9_]*)\\.html$")
    message(FATAL_ERROR "portal/pages/${file}: a page's name is made of a-z, 0-9 and _")
  endif()
  # launcher_frame -> kLauncherFrame
  string(REGEX MATCHALL "[a-z0-9]+" words "${CMAKE_MATCH_1}")
  set(id "k")
  foreach(word IN LISTS words)
    string(SUBSTRING "${word}" 0 1 first)
    string(SUBSTRING "${word}" 1 -1 others)
    string(TOUPPER "${first}" first)
    string(APPEND id "${first}${others}")
  endforeach()
  page_text("${file}" text)
  expand("${text}" 0 text)
  string(FIND "${text}" ")PAGE\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "portal/pages/${file}: the text )PAGE\" would end the C++ literal")
  endif()
  string(APPEND decls "extern const std::string_view ${id};  // ${file}\n")
  string(APPEND defs "\n// ${file}\nconst std::string_view ${id} = R\"PAGE(${text})PAGE\";\n")
endforeach()

set(header "// Generated from portal/pages/ by portal/embed_pages.cmake: edit those files instead.
// The portal's pages and page fragments, with their includes done, as templates for Fill().
#pragma once

#include <string_view>

namespace portal::page_files {

${decls}
}  // namespace portal::page_files
")
set(source "// Generated from portal/pages/ by portal/embed_pages.cmake: edit those files instead.
#include \"page_files.h\"

namespace portal::page_files {
${defs}
}  // namespace portal::page_files
")

file(WRITE "${OUT}/page_files.cpp" "${source}")
# The header changes only when pages come or go: rewriting it each time would rebuild every
# file that includes it.
set(old "")
if(EXISTS "${OUT}/page_files.h")
  file(READ "${OUT}/page_files.h" old)
endif()
if(NOT old STREQUAL header)
  file(WRITE "${OUT}/page_files.h" "${header}")
endif()
