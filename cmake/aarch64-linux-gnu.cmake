# arm64: programs run through qemu-user against the target's system libraries.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(MD5DIGEST_TRIPLE aarch64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross-linux-gnu.cmake)
