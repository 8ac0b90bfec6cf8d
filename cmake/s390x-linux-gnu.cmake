# s390x, a big-endian CPU: programs run through qemu-user against the
# target's system libraries.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(MD5DIGEST_TRIPLE s390x-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-s390x -L /usr/s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross-linux-gnu.cmake)
