# Windows on 32-bit x86 with the POSIX-threads flavour of mingw-w64 (preset windows-x86).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CORVANE_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
