# What both Windows toolchains share; the including file sets CORVANE_MINGW_TRIPLET and the processor.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${CORVANE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVANE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVANE_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${CORVANE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# nlohmann-json is header-only; let the cross build find the host's copy.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
list(APPEND CMAKE_PREFIX_PATH /usr)

# -O2, the level of the Linux builds: GCC 12 at -O3 reports array bounds in inlined std::vector code
# that are not exceeded (the i686 build of the simulator tests), which -Werror turns into errors.
# (A cache entry made here comes before CMake's own default for Release, which is -O3.)
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of a Release build")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of a Release build")

# Every program links the C++ runtime, libgcc and winpthread statically, so an .exe needs nothing
# but the DLLs that come with Windows (check with: objdump -p x.exe | grep "DLL Name").
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs (and anything else CMake runs from this build) go through Wine; the wrapper refuses
# to run outside the Xvfb session that scripts/wine-session.sh sets up.
get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ABSOLUTE)
