#!/usr/bin/env bash
# The native build in its release and debug configurations, with every test;
# the release build with clang++ (on x86-64 for the x86-64-v3 baseline,
# where this CPU runs it); on x86-64 the release build without the AVX-512
# block function; and the shipped release binary's black-box table under
# qemu-x86_64 as an Intel CPU without AVX-512, where it must fall back to
# the scalar code. Without any of these tools the leg is skipped, never
# passed with a part left out.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/legs/need.sh
x86_64=$([ "$(uname -m)" = x86_64 ] && echo yes || true)
# strace watches and fails the black-box table's reads: without it those
# rows would skip one by one and the leg pass.
packages=(cmake ninja-build g++ clang libgtest-dev libssl-dev strace)
[ -z "$x86_64" ] || packages+=(qemu-user)
need_packages "${packages[@]}"
strace -qq -o /dev/null true 2>/dev/null || { echo "skipping: strace cannot trace here"; exit 77; }

presets=(release debug release-clang)
[ -n "$x86_64" ] && presets+=(release-scalar)
for preset in "${presets[@]}"; do
  flags=()
  if [ "$preset" = release-clang ] && [ -n "$x86_64" ]; then
    # Some distributions build for x86-64-v3: the program must build and
    # pass there too. Only where this CPU runs what that baseline emits.
    v3=yes
    for flag in avx2 bmi2 fma movbe f16c abm; do
      grep -qw "$flag" /proc/cpuinfo || v3=""
    done
    flags=(-DCMAKE_CXX_FLAGS="${v3:+-march=x86-64-v3}")
    if [ -n "$v3" ]; then
      echo "--- $preset: built for x86-64-v3"
    else
      echo "--- $preset: this CPU does not run x86-64-v3; built for the baseline"
    fi
  fi
  cmake --preset "$preset" "${flags[@]}"
  cmake --build --preset "$preset"
  ctest --preset "$preset"  # the preset fails it when no test was found
done

[ -n "$x86_64" ] || exit 0
# The release build is what users get: it must carry the AVX-512 path.
disassembly=$(objdump -d build/release/md5digest)
for instruction in vpternlogd vprold; do
  grep -q "$instruction" <<<"$disassembly" ||
    { echo "the release build holds no $instruction: the AVX-512 path is missing"; exit 1; }
done
# Nehalem is an Intel model without AVX-512: the Intel-only rule is put to
# the test, and an AVX-512 instruction there dies with SIGILL.
qemu=(qemu-x86_64 -cpu Nehalem)
echo "--- release: what the program sees under ${qemu[*]}"
limited 300 "${qemu[@]}" build/release/tests/engine_test --gtest_filter='*avx512' --gtest_brief=1 \
  </dev/null >build/release/nehalem.out
cat build/release/nehalem.out
grep -q 'avx512 skipped: this CPU, or its operating system, has no AVX-512F and VL' build/release/nehalem.out
echo "--- release: black-box table under ${qemu[*]}"
# Run outside ctest: this bounds the whole table.
MD5DIGEST_BIN="$PWD/build/release/md5digest" MD5DIGEST_LAUNCHER="${qemu[*]}" \
  MD5DIGEST_SKIP_HUGE="4 GiB under qemu-user takes minutes; the native runs cover it" \
  limited 1800 build/release/tests/blackbox_tests --gtest_brief=1 </dev/null
