#!/usr/bin/env bash
# The native build in its release and debug configurations, with every test;
# the release build with clang++ when it is installed (on x86-64 for the
# x86-64-v3 baseline, where this CPU runs it); on x86-64 the release build
# without the AVX-512 block function; and the shipped release binary's
# black-box table under qemu-x86_64 as an Intel CPU without AVX-512, where it
# must fall back to the scalar code.
set -eu
cd "$(dirname "$0")/../.."
x86_64=$([ "$(uname -m)" = x86_64 ] && echo yes || true)
presets=(release debug)
command -v clang++ >/dev/null 2>&1 && presets+=(release-clang)
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
    [ -n "$v3" ] && echo "--- $preset: built for x86-64-v3"
  fi
  cmake --preset "$preset" "${flags[@]}"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

[ -n "$x86_64" ] || exit 0
# The release build is what users get: it must carry the AVX-512 path.
for instruction in vpternlogd vprold; do
  objdump -d build/release/md5digest | grep -q "$instruction" ||
    { echo "the release build holds no $instruction: the AVX-512 path is missing"; exit 1; }
done
if ! command -v qemu-x86_64 >/dev/null 2>&1; then
  echo "no qemu-x86_64 (install: apt-get install qemu-user): the fallback from AVX-512 is not run"
  exit 0
fi
# Nehalem is an Intel model without AVX-512: the Intel-only rule is put to
# the test, and an AVX-512 instruction there dies with SIGILL.
qemu=(qemu-x86_64 -cpu Nehalem)
echo "--- release: what the program sees under ${qemu[*]}"
"${qemu[@]}" build/release/tests/engine_test --gtest_filter='*avx512' --gtest_brief=1 | tee build/release/nehalem.out
grep -q 'avx512 skipped: this CPU, or its operating system, has no AVX-512F and VL' build/release/nehalem.out
echo "--- release: black-box table under ${qemu[*]}"
MD5DIGEST_BIN="$PWD/build/release/md5digest" MD5DIGEST_LAUNCHER="${qemu[*]}" \
  MD5DIGEST_SKIP_HUGE="4 GiB under qemu-user takes minutes; the native runs cover it" \
  build/release/tests/blackbox_tests --gtest_brief=1
