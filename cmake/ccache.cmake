# Every build compiles through ccache when it is installed (scripts/bootstrap.sh installs it): the test
# command builds the same sources in five configurations, and a developer runs it again and again.
#
# The cache is shared across folders: ccache makes paths under the source folder relative to the
# build folder (base_dir), so a fresh clone elsewhere finds what another clone compiled, and it
# leaves the build folder out of the key (no hash_dir), which -g would otherwise put there. Both are
# given to ccache here rather than in its configuration file, which a fresh machine does not have.
# A launcher of the caller's own (CMAKE_CXX_COMPILER_LAUNCHER) is kept; a bare "ccache" gets the
# same two settings. -DCORVANE_CCACHE=OFF builds without it.
option(CORVANE_CCACHE "Compile through ccache when it is installed" ON)
if(CORVANE_CCACHE)
  foreach(lang CXX C)
    set(launcher "${CMAKE_${lang}_COMPILER_LAUNCHER}")
    if(launcher STREQUAL "")
      find_program(CORVANE_CCACHE_PROGRAM ccache)
      set(launcher "${CORVANE_CCACHE_PROGRAM}")
    endif()
    get_filename_component(launcher_name "${launcher}" NAME)
    if(launcher AND launcher_name STREQUAL "ccache")
      set(CMAKE_${lang}_COMPILER_LAUNCHER
          ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${PROJECT_SOURCE_DIR} CCACHE_NOHASHDIR=1 ${launcher})
    endif()
  endforeach()
endif()
