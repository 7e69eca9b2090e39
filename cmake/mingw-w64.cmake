# Cross-building the Windows client with mingw-w64 (64-bit). The -posix compilers carry the
# threads of the C++ library (std::thread, std::mutex), which the client and GoogleTest need.
# Programs are linked statically, so nothing but the system's own DLLs is needed beside them,
# and they run under Wine through scripts/wine-run.sh, which ctest uses as the emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RV_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RV_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RV_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${RV_MINGW_PREFIX}-windres)
set(CMAKE_ASM_COMPILER ${RV_MINGW_PREFIX}-gcc-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${RV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
