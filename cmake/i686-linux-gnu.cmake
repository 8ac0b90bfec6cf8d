# 32-bit x86. An x86-64 kernel usually runs its programs itself, and then
# the tests run them natively (linked statically: no 32-bit loader needed on
# the host); a kernel built without 32-bit support gets qemu-user instead.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MD5DIGEST_TRIPLE i686-linux-gnu)
# The target's own loader, a 32-bit program: can this kernel start it?
execute_process(COMMAND /usr/${MD5DIGEST_TRIPLE}/lib/ld-linux.so.2 --version
                RESULT_VARIABLE runs_natively OUTPUT_QUIET ERROR_QUIET)
if(NOT runs_natively EQUAL 0)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386 -L /usr/${MD5DIGEST_TRIPLE})
endif()
include(${CMAKE_CURRENT_LIST_DIR}/cross-linux-gnu.cmake)
