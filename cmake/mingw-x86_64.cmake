# Cross build for x86-64 Windows with MinGW-w64: a stand-in for the 32-bit
# module in the tests, run by 64-bit Wine where 32-bit programs cannot run.
# Never released.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(mingw_target x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;--64")
