# Shared by the Debian cross toolchains: the includer sets CMAKE_SYSTEM_PROCESSOR
# and MD5DIGEST_TRIPLE, and CMAKE_CROSSCOMPILING_EMULATOR when the build
# machine cannot run the target's programs itself.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${MD5DIGEST_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${MD5DIGEST_TRIPLE}-g++)

# Libraries and headers come from the target's tree only, never the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${MD5DIGEST_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
