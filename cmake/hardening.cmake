# Hardening of the programs, as Debian's packaging flags (dpkg-buildflags) and newer toolchains'
# defaults give it: checked libc calls where sizes are known, stack canaries, stack clash and
# control-flow protection, format strings checked, a read-only GOT bound at start-up; on Windows
# what MinGW-w64 takes with static linking. Each flag is added only where the compiler or linker
# takes it, and never where the packager's own flags (CXXFLAGS, LDFLAGS, or -DCMAKE_CXX_FLAGS)
# already say something of its kind: a packager's -D_FORTIFY_SOURCE=3 or -fno-stack-protector
# stands as given.
include(CheckCXXSourceCompiles)
include(CheckLinkerFlag)

string(TOUPPER "${CMAKE_BUILD_TYPE}" build_type)
set(given_compile "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${build_type}}")
set(given_link "${CMAKE_EXE_LINKER_FLAGS} ${CMAKE_EXE_LINKER_FLAGS_${build_type}}")

# Adds the options given after `kind` to every compile and link, unless the packager's flags
# match the regular expression `kind`, or the compiler refuses them or warns about them for a
# program that needs what they add (a canary, a checked copy): a library they need must link too,
# as MinGW-w64's libssp must.
function(harden_compile kind)
  if(given_compile MATCHES "${kind}")
    return()
  endif()
  string(MAKE_C_IDENTIFIER "DUMPDIFF_CXX_TAKES${ARGN}" takes)
  set(CMAKE_REQUIRED_FLAGS ${ARGN})
  list(JOIN CMAKE_REQUIRED_FLAGS " " CMAKE_REQUIRED_FLAGS)
  check_cxx_source_compiles([[
    #include <cstdio>
    #include <cstring>
    int main(int argc, char **argv) {
      char buf[64];
      std::strcpy(buf, argc > 1 ? argv[1] : "");
      std::puts(buf);
      return 0;
    }]] ${takes} FAIL_REGEX "unrecognized|not supported|ignored|warning")
  if(${takes})
    add_compile_options(${ARGN})
    add_link_options(${ARGN})
  endif()
endfunction()

# The same for a linker option.
function(harden_link kind flag)
  if(given_link MATCHES "${kind}")
    return()
  endif()
  string(MAKE_C_IDENTIFIER "DUMPDIFF_LINKER_TAKES${flag}" takes)
  check_linker_flag(CXX "${flag}" ${takes})
  if(${takes})
    add_link_options("${flag}")
  endif()
endfunction()

# Fortified calls need an optimizing build; glibc warns about them in one that is not.
if(given_compile MATCHES "(^| )-O([1-9gsz]|fast)")
  harden_compile("_FORTIFY_SOURCE" -D_FORTIFY_SOURCE=2)
endif()
harden_compile("-f(no-)?stack-protector" -fstack-protector-strong)
harden_compile("-f(no-)?stack-clash-protection" -fstack-clash-protection)
harden_compile("-f(no-)?cf-protection" -fcf-protection)
harden_compile("format-security" -Wformat -Werror=format-security)
if(MINGW)
  # Address space randomisation and no executable data, which binutils now sets by default;
  # said here so that an older linker does it too.
  harden_link("dynamicbase" "-Wl,--dynamicbase")
  harden_link("nxcompat" "-Wl,--nxcompat")
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    harden_link("high-entropy-va" "-Wl,--high-entropy-va")
  endif()
else()
  harden_link("-z,? *(no)?relro" "-Wl,-z,relro")
  harden_link("-z,? *(now|lazy)" "-Wl,-z,now")
endif()
