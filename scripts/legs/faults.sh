#!/usr/bin/env bash
# Fails, one at a time, every kind of system call the release binary makes
# from its first report line on (what the C library does before main fails
# every program alike), on its first call and on its last, on a 3 MiB file
# and on an empty one. Each run must print the right digest and exit 0, or
# print the report its row gives with the injected code and exit with it:
# never a crash, a hang, a wrong digest, or 0 after a failure. Then the
# write loop's own paths: a write that takes nothing, a short write, a full
# disk on the second line. Every run is time-limited: a hang fails the leg.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/legs/need.sh
need_packages cmake ninja-build g++ strace
strace -qq -o /dev/null true 2>/dev/null || { echo "skipping: strace cannot trace here"; exit 77; }

cmake --preset release >/dev/null
cmake --build --preset release --target md5digest
binary="$PWD/build/release/md5digest"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c $((3 << 20)) /dev/urandom >"$work/big.bin"
: >"$work/empty.bin"

# call, errno it fails with (one the call can return, or a sandbox's EPERM),
# and what a failure of it prints after the name: "-" nothing (the digest
# must come), "lines" the lines before it, else the report with its code.
table="
openat      13 INVALID HANDLE !
newfstatat  75 INVALID HANDLE !
mmap        12 INVALID HANDLE !
read        22 Unknown ERR !
write       28 lines
fadvise64   29 -
close        5 -
munmap      22 -
madvise     22 -
mprotect    12 -
clone3      11 -
clone       11 -
rt_sigaction     22 -
rt_sigprocmask   22 -
set_robust_list  22 -
rseq         1 -
sched_yield  1 -
futex        4 -
futex       11 -"

failed=0 runs=0
# expect FILE: $name, its report's first line, and $digest, its whole report on success.
expect() {
  name="File name: $1"$'\n'
  digest="${name}MD5 hash of file: $(md5sum "$work/$1" | cut -c1-32 | tr a-f A-F)"$'\n'
}
# run FILE INJECTION: one run under strace, its output in $work/out, its exit in $status.
run() {
  status=0
  limited 60 strace -f -qq -o /dev/null -e inject="$2" "$binary" "$work/$1" </dev/null >"$work/out" || status=$?
  runs=$((runs + 1))
}
# judge WHAT CODE OUTPUT [CODE OUTPUT]...: passes when the run exited with
# one of the codes, having printed the output given beside it.
judge() {
  local what=$1 out
  out=$(cat "$work/out"; echo .)
  shift
  while [ $# -gt 0 ]; do
    if [ "$status" = "$1" ] && [ "$out" = "$2." ]; then
      echo "ok   $what: exit $status"
      return
    fi
    shift 2
  done
  failed=$((failed + 1))
  echo "FAIL $what: exit $status, printed: $(tr '\n' '|' <"$work/out")"
}

for file in big.bin empty.bin; do
  expect "$file"
  # Every call numbered as strace's when= counts them (per thread and per
  # call); each call's first and last number from the first report line on.
  limited 60 strace -f -qq -o "$work/trace" "$binary" "$work/$file" </dev/null >/dev/null
  calls=$(awk 'NR == 1 {main = $1}
               /resumed>|\+\+\+/ {next}
               {name = $2; sub(/\(.*/, "", name); n[$1, name]++; k = n[$1, name]}
               $1 == main && name == "write" {started = 1}
               started && name !~ /^exit/ {
                 if (!(name in lo) || k < lo[name]) lo[name] = k
                 if (k > hi[name]) hi[name] = k}
               END {for (c in lo) {print c, lo[c]; if (hi[c] != lo[c]) print c, hi[c]}}' "$work/trace" | sort)
  while read -r call when; do
    rows=$(awk -v c="$call" '$1 == c' <<<"$table")
    if [ -z "$rows" ]; then
      failed=$((failed + 1))
      echo "FAIL $call: no row in the table (add an error it can return)"
      continue
    fi
    while read -r _ code report; do
      run "$file" "$call:error=$code:when=$when"
      what="$call:error=$code:when=$when on $file"
      case $report in
        -) judge "$what" 0 "$digest" ;;
        lines) judge "$what" "$code" "" "$code" "$name" ;;
        *) judge "$what" 0 "$digest" "$code" "${name}ERR CODE: $code"$'\n'"$report"$'\n' ;;
      esac
    done <<<"$rows"
  done <<<"$calls"
done

# The write loop: a write that takes nothing is EIO; a short write keeps the
# rest of its line (strace skips the call, so the first 3 bytes are lost); a
# full disk on the second line keeps the first and exits 28.
expect big.bin
run big.bin write:retval=0:when=1
judge "a write that takes nothing" 5 ""
run big.bin write:retval=3:when=1
judge "a short write" 0 "${digest:3}"
run big.bin write:error=ENOSPC:when=2
judge "a full disk on the second line" 28 "$name"
# A thread limit, as an unprivileged user meets it: no reader thread, the
# same digest.
if [ "$(id -u)" = 0 ] && chmod 755 "$work" &&
   setpriv --reuid=65534 --regid=65534 --clear-groups test -r "$work/big.bin" -a -x "$binary"; then
  status=0
  limited 60 setpriv --reuid=65534 --regid=65534 --clear-groups prlimit --nproc=1:1 "$binary" "$work/big.bin" \
    </dev/null >"$work/out" || status=$?
  runs=$((runs + 1))
  judge "no thread to be had (a process limit of 1)" 0 "$digest"
else
  echo "skip the process limit: needs root, and a build the nobody user can reach"
fi
echo "fault runs: $runs, failed: $failed"
[ "$failed" -eq 0 ]
