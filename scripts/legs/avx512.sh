#!/usr/bin/env bash
# The AVX-512 block function on a CPU that runs it, whatever CPU this
# machine has: the engine tests and the command, built with the AVX-512 path
# and linked statically, run in a Linux guest on an emulated Intel CPU with
# AVX-512 (scripts/avx512-guest.sh). The avx512 variant must run there, not
# be skipped, and the command, which chooses it there, must print the
# sample's digest.
set -eu
cd "$(dirname "$0")/../.."
if [ "$(uname -m)" != x86_64 ]; then
  echo "skipping: the AVX-512 path is built on x86-64 only"
  exit 77
fi
. scripts/legs/need.sh
need_packages cmake ninja-build g++ libgtest-dev libssl-dev

build=build/avx512-guest
# Without libcrypto, as on the cross builds: the engine test then meets the
# digests libcrypto gave on the host, and links statically without it.
cmake --preset release-avx512 -B "$build" -DCMAKE_DISABLE_FIND_PACKAGE_OpenSSL=ON -DCMAKE_EXE_LINKER_FLAGS=-static
cmake --build "$build" --target engine_test md5digest

status=0
AVX512_KERNEL_CACHE="$build/kernel" AVX512_FILES="$build/tests/engine_test:$build/md5digest:samples/quick-brown-fox.txt" \
  bash scripts/avx512-guest.sh /bin/busybox sh -c './engine_test --gtest_color=no && ./md5digest quick-brown-fox.txt' \
  >"$build/guest.out" || status=$?
cat "$build/guest.out"
[ "$status" -ne 77 ] || exit 77
[ "$status" -eq 0 ] || { echo "the guest's run exited $status"; exit 1; }
grep -q '^\[       OK \] Variants/Engine\.MatchesRfc1321AndTheOracle/avx512 ' "$build/guest.out" ||
  { echo "the avx512 variant did not run in the guest"; exit 1; }
grep -qx 'MD5 hash of file: 9E107D9D372BB6826BD81D3542A419D6' "$build/guest.out" ||
  { echo "the command did not print the sample's digest in the guest"; exit 1; }
echo "avx512: the engine tests and the command pass on the emulated AVX-512 CPU"
