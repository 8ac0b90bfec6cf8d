#!/usr/bin/env bash
# The POSIX build cross-compiled for three more CPUs: s390x (big-endian),
# 32-bit x86 (32-bit offsets and lengths) and arm64. For each: its unit tests,
# then the native black-box table driving its binary, through qemu-user
# where this machine cannot run it. Only the i686 run keeps the 4 GiB case:
# it is the one it catches, and emulating s390x or arm64 over 4 GiB is slow.
# The binaries are static-pie, but on s390x, whose C library cannot link it.
# Every run is time-limited: a hang fails the leg.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/legs/need.sh
need_packages cmake ninja-build g++ libgtest-dev libssl-dev strace googletest file qemu-user \
  crossbuild-essential-s390x crossbuild-essential-i386 crossbuild-essential-arm64

# The black-box harness runs on the build machine.
cmake --preset release >/dev/null
cmake --build --preset release --target blackbox_tests

# preset, target triple, qemu-user program, what `file` must say of the binary
cross() {
  local preset=$1 triple=$2 qemu=$3 kind=$4 bin="$PWD/build/$1/md5digest" what
  echo "--- $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"  # the preset fails it when no test was found
  what="$(file "$bin")"
  echo "$what"
  grep -q "$kind" <<<"$what"

  local launcher="$qemu -L /usr/$triple"
  local huge=(MD5DIGEST_SKIP_HUGE="4 GiB under qemu-user takes minutes; the i686 run covers it")
  if [ "$preset" = i686 ]; then
    # Natively if this kernel runs 32-bit x86 programs (126: it cannot; bash
    # says so, where timeout's execvp would hand the file to sh).
    limited 60 bash -c 'exec "$0"' "$bin" </dev/null >/dev/null 2>&1 || [ $? -eq 126 ] || launcher=""
    huge=(-u MD5DIGEST_SKIP_HUGE)
  fi
  echo "--- $preset: black-box table${launcher:+ under $launcher}"
  limited 1800 env "${huge[@]}" MD5DIGEST_BIN="$bin" MD5DIGEST_LAUNCHER="$launcher" MD5DIGEST_TARGET=posix \
    build/release/tests/blackbox_tests --gtest_brief=1 </dev/null
}
cross s390x s390x-linux-gnu qemu-s390x 'ELF 64-bit MSB executable, IBM S/390, .*statically linked'
cross i686 i686-linux-gnu qemu-i386 'ELF 32-bit LSB pie executable, Intel 80386, .*static-pie linked'
cross arm64 aarch64-linux-gnu qemu-aarch64 'ELF 64-bit LSB pie executable, ARM aarch64, .*static-pie linked'
