#!/usr/bin/env bash
# Builds the command (release preset) and runs it on FILE, or on the sample
# the repository ships when no FILE is given. Its exit status is the tool's.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
file="${1-$root/samples/quick-brown-fox.txt}"
# A missing tool is named in one line, rather than failing inside CMake.
need() {
  command -v "$1" >/dev/null ||
    { echo "run.sh: $1 is missing (on Debian 12: sudo apt-get install g++ cmake ninja-build)" >&2; exit 127; }
}
need "${CXX:-c++}"
need cmake
need ninja
# Build output goes to standard error, so standard output is the report alone.
# Configure once; afterwards ninja re-runs CMake itself when a list changes.
# Only the command is built: running it needs no test tools.
(
  cd "$root"
  if [ ! -f build/release/build.ninja ]; then
    cmake --preset release
  fi
  cmake --build --preset release --target md5digest -- --quiet
) >&2
exec "$root/build/release/md5digest" "$file"
