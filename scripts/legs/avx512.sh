#!/usr/bin/env bash
# The AVX-512 block function on a CPU that runs it, whatever CPU this
# machine has: the engine tests and the command, built as released (the
# path is in every x86-64 build) and linked statically, run in a Linux guest
# on an emulated Intel CPU with AVX-512 (scripts/avx512-guest.sh). The
# avx512 variant must run there, not be skipped, and the command, which
# chooses it there, must print the sample's digest. A second guest's kernel
# leaves the AVX-512 register state off while the CPU still lists AVX-512:
# there the variant must be skipped and the command must fall back.
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
cmake --preset release -B "$build" -DCMAKE_DISABLE_FIND_PACKAGE_OpenSSL=ON -DCMAKE_EXE_LINKER_FLAGS=-static
cmake --build "$build" --target engine_test md5digest

# $1: enabled or disabled; then what the guest's output must hold
guest() {
  local state=$1 out="$build/guest-$1.out" status=0
  shift
  echo "--- AVX-512 register state $state by the guest's kernel"
  AVX512_STATE=$state AVX512_KERNEL_CACHE="$build/kernel" \
    AVX512_FILES="$build/tests/engine_test:$build/md5digest:samples/quick-brown-fox.txt" \
    bash scripts/avx512-guest.sh /bin/busybox sh -c \
    './engine_test --gtest_color=no --gtest_filter="*avx512" && ./md5digest quick-brown-fox.txt' \
    >"$out" || status=$?
  cat "$out"
  # 77: the guest could not be had here (a package missing, or, outside CI,
  # no kernel to download); the guest script has said why.
  [ "$status" -ne 77 ] || { echo "avx512: skipped, the guest cannot run here"; exit 77; }
  [ "$status" -eq 0 ] || { echo "the guest's run exited $status"; exit 1; }
  for line in "$@" 'MD5 hash of file: 9E107D9D372BB6826BD81D3542A419D6'; do
    grep -qF -- "$line" "$out" || { echo "the guest's output lacks: $line"; exit 1; }
  done
}
guest enabled '[       OK ] Variants/Engine.MatchesRfc1321AndTheOracle/avx512 '
guest disabled 'avx512 skipped: this CPU, or its operating system, has no AVX-512F and VL'
echo "avx512: the path runs where the CPU and its system do, and the command falls back where the system does not"
