#!/usr/bin/env bash
# The native build in its release and debug configurations, with every test;
# and the release build with clang++ when it is installed.
set -eu
presets=(release debug)
command -v clang++ >/dev/null 2>&1 && presets+=(release-clang)
for preset in "${presets[@]}"; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
