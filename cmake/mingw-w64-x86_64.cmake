# Cross-build for Windows x64 with Debian's mingw-w64 (posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TRV_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TRV_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRV_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TRV_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TRV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Test binaries run under Wine through a wrapper that pins a private prefix
# inside the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
