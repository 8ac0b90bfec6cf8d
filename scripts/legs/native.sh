#!/usr/bin/env bash
# The native build in its release and debug configurations, with every test.
set -eu
for preset in release debug; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
