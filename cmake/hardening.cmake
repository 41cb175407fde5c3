# Debian's hardening flags (what `DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags` gives on
# Debian 12 amd64) for every Linux program of the build, so the packaged programs are the tested ones:
# stack protector, format checks, fortified libc calls, position-independent executables, read-only
# relocations resolved at start (relro + bind-now). Position-independent executables are the Debian
# compiler's default, as they are for dpkg-buildflags; scripts/check-package.sh checks the packaged
# programs for all of these. The Windows cross builds keep their own flags.
option(CORVANE_HARDENING "Build the Linux programs with Debian's hardening flags" ON)
if(CORVANE_HARDENING AND CORVANE_PLATFORM STREQUAL "Linux")
  add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
  # glibc's fortified calls need an optimising build; a Debug build (-O0) would only get a warning
  # from the C library's headers, which warnings-as-errors turns into a failed build.
  add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
