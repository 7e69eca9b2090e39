# The layer check with the repository's own table, run on small trees made here: a tree
# that keeps the direction passes (and gets its stamp), and each way of including a higher
# folder fails with a line that names the file, the include and the rule; the repository
# itself passes.
#
#   cmake -DCHECKER=cmake/CheckLayers.cmake -DREPO=<repository> -DWORK=<folder> -P layer_check_test.cmake
cmake_minimum_required(VERSION 3.25)
foreach(v CHECKER REPO WORK)
  if(NOT ${v})
    message(FATAL_ERROR "layer_check_test.cmake: ${v} is not set")
  endif()
endforeach()

set(failures 0)
macro(fail text)
  message("FAIL ${case}: ${text}")
  math(EXPR failures "${failures} + 1")
endmacro()

# A tree that keeps the direction: the folders of the table with a file or two each.
function(write_base root)
  file(REMOVE_RECURSE "${root}")
  file(WRITE "${root}/fw/window.h" "#pragma once\n#include <string>\n")
  file(WRITE "${root}/fw/common/window.cpp" "#include \"fw/window.h\"\n")
  file(WRITE "${root}/fw/gtk/native.h" "#pragma once\n#include <gtk/gtk.h>\n#include \"fw/window.h\"\n")
  file(WRITE "${root}/fw/gtk/module/view.cpp" "#include \"fw/gtk/native.h\"\n#include \"fw/common/x.h\"\n")
  file(WRITE "${root}/fw/common/x.h" "#pragma once\n")
  file(WRITE "${root}/shared/messages.h" "#pragma once\n#include \"fw/window.h\"\n")
  file(WRITE "${root}/ui/skin.cpp" "#include \"skin.h\"\n#include \"shared/messages.h\"\n")
  file(WRITE "${root}/ui/skin.h" "#pragma once\n")
  file(WRITE "${root}/web/web_dlg.cpp" "  #  include \"web/web_dlg.h\"\n#include \"./web_dlg.h\"\n")
  file(WRITE "${root}/web/web_dlg.h" "#pragma once\n#include \"shared/messages.h\"\n")
  file(WRITE "${root}/net/http.cpp" "#include <curl/curl.h>\n#include \"fw/window.h\"\n")
  file(WRITE "${root}/side/pay.cpp" "#include \"../web/web_dlg.h\"\n#include \"ui/skin.h\"\n")
  file(WRITE "${root}/supportim/support_im.h" "#pragma once\n")
  file(WRITE "${root}/game/game.cpp" "#include \"side/pay.h\"\n#include \"supportim/support_im.h\"\n#include \"net/http.h\"\n")
  file(WRITE "${root}/app/main.cpp" "#include \"game/game.h\"\n// #include \"tests/never.h\" is a comment\n")
  file(WRITE "${root}/fw/posix/trim.h" "#pragma once\n")
  file(WRITE "${root}/game/cache_clear_posix.cpp" "#include \"fw/posix/trim.h\"\n")
  file(WRITE "${root}/tests/unit/test_support.h" "#pragma once\n#include \"app/main.h\"\n")
endfunction()

# run_check(<root> <out>): the checker's exit code in <out>, its output in <out>_text.
function(run_check root out)
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${root} -DSTAMP=${root}/stamp -P ${CHECKER}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE o ERROR_VARIABLE e)
  set(${out} ${rc} PARENT_SCOPE)
  set(${out}_text "${o}${e}" PARENT_SCOPE)
endfunction()

# ---- a tree that keeps the direction
set(case "downward includes, system headers, own folder, platform services in platform files, tests/ unchecked")
write_base("${WORK}/clean")
run_check("${WORK}/clean" rc)
if(NOT rc EQUAL 0)
  fail("expected success, got ${rc}:\n${rc_text}")
endif()
if(NOT EXISTS "${WORK}/clean/stamp")
  fail("no stamp after a passing check")
endif()

# ---- each way of going upward or sideways: <case name> <file> <line added> <expected text>
set(bad_cases
  "a lower folder includes a higher one|web/web_dlg.cpp|#include \"app/main_wnd.h\"|web/web_dlg.cpp: #include \"app/main_wnd.h\": web/ may not include app/"
  "a relative path climbs into a higher folder|side/pay.cpp|#include \"../game/game.h\"|side/pay.cpp: #include \"../game/game.h\": side/ may not include game/"
  "two folders of one level|ui/skin.cpp|#include <web/web_dlg.h>|ui/skin.cpp: #include <web/web_dlg.h>: ui/ may not include web/"
  "the framework's portable part includes a back end|fw/common/window.cpp|#include \"fw/gtk/native.h\"|fw/common/ may not include fw/gtk/"
  "a client folder includes a back end|game/game.cpp|#include \"fw/gtk/native.h\"|game/ may not include fw/gtk/"
  "the chat library includes the client|supportim/support_im.h|#include \"shared/messages.h\"|supportim/ may not include shared/"
  "a platform service outside a platform file|game/game.cpp|#include \"fw/posix/trim.h\"|game/ may not include fw/posix/"
  "another system's platform file|game/cache_clear_win32.cpp|#include \"fw/posix/trim.h\"|game/ may not include fw/posix/"
  "a folder outside the table|app/main.cpp|#include \"tests/unit/test_support.h\"|app/ may not include tests/"
)
foreach(entry IN LISTS bad_cases)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 case)
  list(GET parts 1 file)
  list(GET parts 2 line)
  list(GET parts 3 expected)
  set(root "${WORK}/bad")
  write_base("${root}")
  file(APPEND "${root}/${file}" "${line}\n")
  run_check("${root}" rc)
  if(rc EQUAL 0)
    fail("the check passed")
  else()
    string(FIND "${rc_text}" "${expected}" at)
    if(at EQUAL -1)
      fail("no line '${expected}' in:\n${rc_text}")
    endif()
    string(FIND "${rc_text}" "1 include(s) go against" one)
    if(one EQUAL -1)
      fail("expected exactly one offending include:\n${rc_text}")
    endif()
  endif()
  if(EXISTS "${root}/stamp")
    fail("a failed check left a stamp")
  endif()
endforeach()

# ---- the repository as it is
set(case "the repository")
execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${REPO} -P ${CHECKER}
                RESULT_VARIABLE rc OUTPUT_VARIABLE o ERROR_VARIABLE e)
if(NOT rc EQUAL 0)
  fail("the repository breaks its own layers:\n${o}${e}")
endif()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} case(s) of the layer check failed")
endif()
message("layer check: every case as expected")
