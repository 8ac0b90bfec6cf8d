# Hardening of the Linux (ELF) builds, as a distribution hardens what it
# ships: the command reads names and bytes it did not choose. Included by the
# top-level CMakeLists.txt before any target, so that every program, the
# tests included, is built the way the shipped command is (doc/hardening.md).
#
# Sets MD5DIGEST_STATIC_LINK: what MD5DIGEST_STATIC links with here.

set(MD5DIGEST_STATIC_LINK -static)

# Windows keeps what mingw-w64's binutils give it: DYNAMIC_BASE,
# HIGH_ENTROPY_VA and NX_COMPAT in the header (the windows leg checks them).
# Its _FORTIFY_SOURCE and stack protector would need libssp beside the
# program; not taken.
if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()

include(CheckCXXCompilerFlag)
include(CheckCXXSourceCompiles)

# A canary below the return address of every function with an array or an
# address-taken local (the Digester's 1024-byte read buffer among them),
# checked on return: a stack overflow dies instead of returning into it.
add_compile_options(-fstack-protector-strong)

# Frames larger than a page touch each page as they grow, so that a deep or
# large stack cannot step over the guard page into other memory. g++ has it
# on x86, arm64 and s390x; clang++ 14 on x86 only, hence the check.
check_cxx_compiler_flag(-fstack-clash-protection MD5DIGEST_HAVE_STACK_CLASH)
if(MD5DIGEST_HAVE_STACK_CLASH)
  add_compile_options(-fstack-clash-protection)
endif()

# Checked versions of memcpy, read and the like where the compiler knows the
# destination's size (3: sizes known only at run time too, with g++ 12 or
# clang++ and glibc 2.34 or later; older ones treat 3 as 2). It needs the
# optimiser, so Release only: RelWithDebInfo is the sanitised fuzz build,
# where fortified calls would hide accesses from ASan. -U first: some
# compilers define it already, and a redefinition warns.
add_compile_options("$<$<CONFIG:Release>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=3>")

# Control-flow protection where the CPU has it: landing pads (endbr) and
# shadow-stack readiness on x86; return addresses signed (PAC) and branch
# targets marked (BTI) on arm64. s390x has no such feature. A static program
# is marked for the CPU only if every object in it is: Debian 12's C library
# is not (for x86 CET, nor arm64 BTI), so only arm64's PAC is in force on
# today's systems; our own code is ready for the rest.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i[3-6]86)$")
  add_compile_options(-fcf-protection)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  add_compile_options(-mbranch-protection=standard)
endif()

# Full RELRO: every relocation resolved at start-up (BIND_NOW), then the
# tables holding them made read-only (GNU_RELRO), so a stray write cannot
# redirect a call. A static non-PIE program has no dynamic section and so no
# BIND_NOW: nothing in it is resolved late, and GNU_RELRO still applies.
add_link_options(LINKER:-z,relro,-z,now)

# The static link stays (it starts fastest), now position-independent, so
# that the kernel loads it at a random address: -static-pie, code built with
# -fPIE. Where the C library cannot link it (the s390x cross C library ships
# no rcrt1.o), the command stays -static, not position-independent, with
# everything above. -static in CMAKE_EXE_LINKER_FLAGS already makes every
# program static and cannot be given with -static-pie (g++ then links
# crtbeginT.o, which is not position-independent): it is left to decide.
if(MD5DIGEST_STATIC)
  if(" ${CMAKE_EXE_LINKER_FLAGS} " MATCHES " -static ")
    message(STATUS "CMAKE_EXE_LINKER_FLAGS holds -static: every program links static, not static-pie")
    set(MD5DIGEST_STATIC_LINK "")
  else()
    set(CMAKE_REQUIRED_FLAGS -fPIE)
    set(CMAKE_REQUIRED_LINK_OPTIONS -static-pie)
    check_cxx_source_compiles("int main() { return 0; }" MD5DIGEST_HAVE_STATIC_PIE)
    unset(CMAKE_REQUIRED_FLAGS)
    unset(CMAKE_REQUIRED_LINK_OPTIONS)
    if(MD5DIGEST_HAVE_STATIC_PIE)
      add_compile_options(-fPIE)
      set(MD5DIGEST_STATIC_LINK -static-pie)
    else()
      message(STATUS "no -static-pie with this C library: the command links -static, not position-independent")
    endif()
  endif()
endif()
