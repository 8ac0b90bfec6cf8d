#!/usr/bin/env bash
# The POSIX build cross-compiled for s390x, a big-endian CPU: its unit tests
# run under qemu-user, then the native black-box suite drives the s390x binary
# through the same emulator.
set -eu
cd "$(dirname "$0")/../.."
. scripts/legs/need.sh
need_packages cmake ninja-build g++ libgtest-dev libssl-dev googletest \
  crossbuild-essential-s390x qemu-user

cmake --preset s390x
cmake --build --preset s390x
ctest --preset s390x

# The black-box harness runs on the build machine.
cmake --preset release >/dev/null
cmake --build --preset release --target blackbox_tests
MD5DIGEST_BIN="$PWD/build/s390x/md5digest" \
MD5DIGEST_LAUNCHER="qemu-s390x -L /usr/s390x-linux-gnu" \
MD5DIGEST_TARGET=posix \
  build/release/tests/blackbox_tests --gtest_brief=1
