# Settings every program shares; included before the modules.

# Debian's hardening flags (those of dpkg-buildflags with hardening=+all), so that the programs
# of the package are built as Debian builds its own: the stack protector, stack clash
# protection, format checks, fortified C library calls, full RELRO with immediate binding, and
# position-independent executables. Fortified calls need the optimizer, and sanitizer and
# fuzzing builds have run-time checks of their own: those builds go without them.
option(KESTRAVA_HARDENING "Build with Debian's hardening flags" ON)
if(KESTRAVA_HARDENING)
  add_compile_options(-fstack-protector-strong -fstack-clash-protection -Wformat
                      -Werror=format-security)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  include(CheckPIESupported)
  check_pie_supported()
  if(NOT CMAKE_BUILD_TYPE STREQUAL Debug AND NOT KESTRAVA_SANITIZE AND NOT KESTRAVA_BUILD_FUZZ)
    add_compile_definitions(_FORTIFY_SOURCE=2)
  endif()
endif()
