#!/usr/bin/env bash
# Every native test, unit and black-box, with the command and the tests built
# under AddressSanitizer and UndefinedBehaviorSanitizer; then the read-ahead
# ring's own test and the black-box table under ThreadSanitizer, where a
# count published before its bytes is a reported race. Any report fails.
set -eu
cd "$(dirname "$0")/../.."
. scripts/legs/need.sh
need_packages cmake ninja-build g++ libgtest-dev libssl-dev strace  # strace: the traced black-box rows
# Where strace may not trace (a container without ptrace), those rows would
# skip one by one and the leg pass with them untested.
strace -qq -o /dev/null true 2>/dev/null || { echo "skipping: strace cannot trace here"; exit 77; }

for preset in asan tsan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
