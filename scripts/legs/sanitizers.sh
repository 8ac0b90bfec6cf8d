#!/usr/bin/env bash
# Every native test, unit and black-box, with the command and the tests built
# under AddressSanitizer and UndefinedBehaviorSanitizer: any report fails.
set -eu
cd "$(dirname "$0")/../.."
. scripts/legs/need.sh
need_packages cmake ninja-build g++ libgtest-dev libssl-dev

cmake --preset asan
cmake --build --preset asan
ctest --preset asan
