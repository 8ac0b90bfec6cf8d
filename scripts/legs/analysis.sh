#!/usr/bin/env bash
# Static analysis of the product sources: clang-tidy with the committed
# .clang-tidy (over a native build's compile_commands.json) and cppcheck.
# Any finding fails the leg.
set -eu -o pipefail
cd "$(dirname "$0")/../.."
. scripts/legs/need.sh
need_packages cmake ninja-build g++ libgtest-dev libssl-dev clang-tidy cppcheck

sources=$(ls cli/*.cpp digest/*.cpp md5/*.cpp platform/*.cpp platform/posix/*.cpp)
# Every file compiled in, the AVX-512 path too (on by default on x86-64), so
# each has its flags in compile_commands.json; the engine is also compiled,
# unoptimised, where an intrinsic's immediate must be a constant expression.
cmake --preset debug -B build/analysis >/dev/null
cmake --build build/analysis --target md5 >/dev/null
if [ "$(uname -m)" = x86_64 ]; then
  # Some distributions build for x86-64-v3: the engine must build there too
  # (the native leg also runs such a build where this CPU runs it).
  g++ -std=c++20 -march=x86-64-v3 -DMD5DIGEST_AVX512=1 -I. -Werror -fsyntax-only md5/*.cpp
fi

echo "clang-tidy over $(echo "$sources" | wc -l) files"
# shellcheck disable=SC2086
clang-tidy -p build/analysis --quiet $sources 2>&1 | { grep -v '^[0-9]* warnings generated\.$' || true; }

echo "cppcheck"
cppcheck --std=c++20 --language=c++ -I . --enable=warning,performance,portability \
  --error-exitcode=1 --inline-suppr --suppress=missingIncludeSystem --quiet \
  cli digest md5 platform/*.cpp platform/posix
echo "analysis: clean"
