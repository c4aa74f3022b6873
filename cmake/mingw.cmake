# What both Windows cross builds share; a toolchain file sets mingw_target
# (the compilers' prefix) and CMAKE_SYSTEM_PROCESSOR, then includes this.
# The win32 thread-model compilers: the -posix ones link winpthread into
# every binary, and with it a vectored exception handler and a thread start
# in the host's process. -static keeps the runtime inside each binary.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${mingw_target}-gcc-win32)
set(CMAKE_CXX_COMPILER ${mingw_target}-g++-win32)
set(CMAKE_RC_COMPILER ${mingw_target}-windres)
set(CMAKE_DLLTOOL ${mingw_target}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_target})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--disable-stdcall-fixup")
