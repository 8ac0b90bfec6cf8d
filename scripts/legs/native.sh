#!/usr/bin/env bash
# The native build in its release and debug configurations, with every test;
# the release build with clang++ when it is installed; and on x86-64 the
# release build with the AVX-512 block function, whose black-box table also
# runs under qemu-x86_64, a CPU without AVX-512, where it must fall back.
set -eu
cd "$(dirname "$0")/../.."
x86_64=$([ "$(uname -m)" = x86_64 ] && echo yes || true)
presets=(release debug)
command -v clang++ >/dev/null 2>&1 && presets+=(release-clang)
[ -n "$x86_64" ] && presets+=(release-avx512)
for preset in "${presets[@]}"; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

[ -n "$x86_64" ] || exit 0
if ! command -v qemu-x86_64 >/dev/null 2>&1; then
  echo "no qemu-x86_64 (install: apt-get install qemu-user): the fallback from AVX-512 is not run"
  exit 0
fi
echo "--- release-avx512: black-box table under qemu-x86_64, which has no AVX-512"
MD5DIGEST_BIN="$PWD/build/release-avx512/md5digest" MD5DIGEST_LAUNCHER=qemu-x86_64 \
  MD5DIGEST_SKIP_HUGE="4 GiB under qemu-user takes minutes; the native runs cover it" \
  build/release-avx512/tests/blackbox_tests --gtest_brief=1
