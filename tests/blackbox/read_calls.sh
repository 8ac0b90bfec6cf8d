#!/usr/bin/env bash
# The reader serves the 1024-byte chunks from a read-ahead buffer: a 64 MiB
# file must take about a thousand read(2) calls at most, not 65,536.
set -eu
binary=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
head -c 64M /dev/zero > "$dir/64mib.bin"
# LeakSanitizer cannot run under ptrace; the count is what matters here.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
  strace -f -c -o "$dir/summary" -e trace=read "$binary" "$dir/64mib.bin" > "$dir/out"
grep -qx "MD5 hash of file: 7F614DA9329CD3AEBF59B91AADC30BF0" "$dir/out"
# Summary row: % time, seconds, usecs/call, calls, [errors,] syscall.
calls=$(awk '$NF == "read" { print (NF == 6 ? $(NF-2) : $(NF-1)) }' "$dir/summary")
echo "read calls for 64 MiB: $calls"
[ -n "$calls" ] && [ "$calls" -le 1100 ]
