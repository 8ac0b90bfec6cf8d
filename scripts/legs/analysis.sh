#!/usr/bin/env bash
# Static analysis of the product sources: clang-tidy with the committed
# .clang-tidy (over a native build's compile_commands.json) and cppcheck.
# Any finding fails the leg.
set -eu -o pipefail
cd "$(dirname "$0")/../.."
. scripts/legs/need.sh
need_packages cmake ninja-build g++ libgtest-dev libssl-dev clang-tidy cppcheck

sources=$(ls cli/*.cpp digest/*.cpp md5/*.cpp platform/*.cpp platform/posix/*.cpp)
cmake --preset debug >/dev/null  # writes build/debug/compile_commands.json

echo "clang-tidy over $(echo "$sources" | wc -l) files"
# shellcheck disable=SC2086
clang-tidy -p build/debug --quiet $sources 2>&1 | { grep -v '^[0-9]* warnings generated\.$' || true; }

echo "cppcheck"
cppcheck --std=c++20 --language=c++ -I . --enable=warning,performance,portability \
  --error-exitcode=1 --inline-suppr --suppress=missingIncludeSystem --quiet \
  cli digest md5 platform/*.cpp platform/posix
echo "analysis: clean"
