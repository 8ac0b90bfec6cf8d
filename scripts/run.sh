#!/usr/bin/env bash
# Builds the command (release preset) and runs it on FILE, or on the sample
# the repository ships when no FILE is given. Its exit status is the tool's.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
file="${1-$root/samples/quick-brown-fox.txt}"
# Build output goes to standard error, so standard output is the report alone.
(cd "$root" && cmake --preset release && cmake --build --preset release) >&2
exec "$root/build/release/md5digest" "$file"
