#!/usr/bin/env bash
# Fails, one at a time, every kind of system call the release binary makes
# from its first report line on (what the C library does before main fails
# every program alike), on its first call and on its last, on a 3 MiB file
# and on an empty one. Each run must print the right digest and exit 0, or
# print the report its row gives with the injected code and exit with it:
# never a crash, a hang, a wrong digest, or 0 after a failure. Then the
# write loop's own paths: a write that takes nothing, a short write, a full
# disk on the second line. Then what a hostile environment imposes: calls
# interrupted for ever or a few times (by strace, and by a FUSE server that
# answers EINTR), a file size limit on the output, and memory limits under
# which the command must read with less, or report ENOMEM's code: never a
# death by signal, an abort, a spin or a byte on standard error. Every run
# is time-limited: a hang fails the leg.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/legs/need.sh
need_packages cmake ninja-build g++ strace fuse3 python3-fusepy  # fuse: the interrupting server
strace -qq -o /dev/null true 2>/dev/null || { echo "skipping: strace cannot trace here"; exit 77; }

cmake --preset release >/dev/null
cmake --build --preset release --target md5digest
binary="$PWD/build/release/md5digest"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c $((3 << 20)) /dev/urandom >"$work/big.bin"
head -c 1024 "$work/big.bin" >"$work/small.bin"
: >"$work/empty.bin"

# call, errno it fails with (one the call can return, or a sandbox's EPERM),
# and what a failure of it prints after the name: "-" nothing (the digest
# must come), "lines" the lines before it, "never" no run (the kernel never
# fails the call so), else the report with its code. brk answers a refusal
# with the old break, never an error: an injected one corrupts the C
# library's heap in any program. Its real refusals are the data limit's runs.
table="
openat      13 INVALID HANDLE !
newfstatat  75 INVALID HANDLE !
brk          0 never
mmap        12 -
read        22 Unknown ERR !
writev      28 lines
fadvise64   29 -
fstatfs      5 -
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
  limit_run strace -f -qq -o /dev/null -e inject="$2" "$binary" "$work/$1"
}
# limit_run COMMAND...: one run, its output in $work/out, its standard error in
# $work/err (which must stay empty), its exit in $status.
limit_run() {
  status=0
  limited 60 "$@" </dev/null >"$work/out" 2>"$work/err" || status=$?
  runs=$((runs + 1))
}
# judge WHAT CODE OUTPUT [CODE OUTPUT]...: passes when the run exited with
# one of the codes, having printed the output given beside it.
judge() {
  local what=$1 out
  out=$(cat "$work/out"; echo .)
  shift
  while [ $# -gt 0 ] && [ ! -s "$work/err" ]; do
    if [ "$status" = "$1" ] && [ "$out" = "$2." ]; then
      echo "ok   $what: exit $status"
      return
    fi
    shift 2
  done
  failed=$((failed + 1))
  echo "FAIL $what: exit $status, printed: $(tr '\n' '|' <"$work/out" | head -c 300), on stderr: $(head -c 300 "$work/err")"
}

for file in big.bin empty.bin; do
  expect "$file"
  # Every call numbered as strace's when= counts them (per thread and per
  # call); each call's first and last number from the first report line on.
  limited 60 strace -f -qq -o "$work/trace" "$binary" "$work/$file" </dev/null >/dev/null
  calls=$(awk 'NR == 1 {main = $1}
               /resumed>|\+\+\+/ {next}
               {name = $2; sub(/\(.*/, "", name); n[$1, name]++; k = n[$1, name]}
               $1 == main && name == "writev" {started = 1}
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
      [ "$report" != never ] || continue
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
run big.bin writev:retval=0:when=1
judge "a write that takes nothing" 5 ""
run big.bin writev:retval=3:when=1
judge "a short write" 0 "${digest:3}"
run big.bin writev:error=ENOSPC:when=2
judge "a full disk on the second line" 28 "$name"
# A thread limit, as an unprivileged user meets it: no reader thread, the
# same digest.
if [ "$(id -u)" = 0 ] && chmod 755 "$work" &&
   setpriv --reuid=65534 --regid=65534 --clear-groups test -r "$work/big.bin" -a -x "$binary"; then
  limit_run setpriv --reuid=65534 --regid=65534 --clear-groups prlimit --nproc=1:1 "$binary" "$work/big.bin"
  judge "no thread to be had (a process limit of 1)" 0 "$digest"
else
  echo "skip the process limit: needs root, and a build the nobody user can reach"
fi

# A code past 255 still fails: it exits as 255, and its line keeps it whole.
expect big.bin
run big.bin newfstatat:error=300
judge "fstat fails with 300" 255 "${name}ERR CODE: 300"$'\n'"INVALID HANDLE !"$'\n'
# A FIFO's third read lies inside the first buffer: never a digest of the
# bytes before it (EXDEV, not EIO: the stand-in for no code).
mkfifo "$work/burst.fifo"
name="File name: burst.fifo"$'\n'
cat "$work/big.bin" >"$work/burst.fifo" 2>/dev/null &  # ends when the reader closes
run burst.fifo read:error=EXDEV:when=3
judge "a read that fails inside a buffer is no end" 18 "${name}ERR CODE: 18"$'\n'"Unknown ERR !"$'\n'
wait "$!" || true
expect big.bin
# Interrupted for ever, each call gives up with EINTR (4) through its step;
# interrupted a few times, it is made again.
for call in openat read writev; do
  run big.bin "$call:error=EINTR"
  case $call in
    openat) judge "every openat interrupted" 4 "${name}ERR CODE: 4"$'\n'"INVALID HANDLE !"$'\n' ;;
    read) judge "every read interrupted" 4 "${name}ERR CODE: 4"$'\n'"Unknown ERR !"$'\n' ;;
    writev) judge "every write interrupted" 4 "" ;;
  esac
  run big.bin "$call:error=EINTR:when=1..3"
  judge "the first three of $call interrupted" 0 "$digest"
done
# A file size limit on the output is a failed write (EFBIG, 27), not a
# death by SIGXFSZ: the report stops at the limit.
limit_run prlimit --fsize=30 "$binary" "$work/big.bin"
judge "a file size limit of 30 bytes" 27 "${digest:0:30}"
# Too little memory for the ring: the file is read with the first buffer.
for file in empty.bin small.bin big.bin; do
  expect "$file"
  limit_run prlimit --data=$((1 << 20)) "$binary" "$work/$file"
  judge "a data limit of 1 MiB on $file" 0 "$digest"
done
# Too little address space even for the shown name of a long one (control
# bytes, escaped to four times their length): its line is lost, the open's
# ENAMETOOLONG (36) stands.
long=$(head -c $((64 << 10)) /dev/zero | tr '\0' '\1')
for kib in 1400 1700 2000 2300 2600; do
  limit_run prlimit --as=$((kib << 10)) "$binary" "$long"
  # Its line is whole or absent: "File name: ", each byte as \x01, a line feed.
  if [ "$status" = 36 ] && [ ! -s "$work/err" ] && { [ ! -s "$work/out" ] ||
       { [ "$(head -n 1 "$work/out" | wc -c)" = $((11 + 4 * (64 << 10) + 1)) ] && [ "$(tail -n 1 "$work/out")" = "INVALID HANDLE !" ]; }; }; then
    echo "ok   an address space of $kib KiB, a name of 64 KiB: exit 36, $(wc -l <"$work/out") lines"
  else
    failed=$((failed + 1))
    echo "FAIL an address space of $kib KiB, a name of 64 KiB: exit $status, on stderr: $(head -c 300 "$work/err")"
  fi
done
# A FUSE server that answers EINTR: to every read, to the first three, to
# every open; and the hints a FUSE file gets.
if [ -w /dev/fuse ] && command -v fusermount >/dev/null && /usr/bin/python3 -c 'import fusepy' 2>/dev/null; then
  expect big.bin
  name="File name: file"$'\n'
  digest="$name${digest#*$'\n'}"
  mkdir "$work/fuse"
  for answers in "0 -1" "0 3" "-1 0"; do
    /usr/bin/python3 scripts/legs/interrupting_fs.py "$work/fuse" "$work/big.bin" $answers 2>"$work/fuse.log" &
    server=$!
    for ((k = 0; k < 100; k++)); do [ -e "$work/fuse/file" ] && break || sleep 0.1; done
    # The three-read run is traced too: a file here may be told it is read
    # in order, but never asked ahead, whose requests would queue before the
    # reader's own.
    [ "$answers" = "0 3" ] && trace=(strace -f -qq -o "$work/hints" -e trace=fadvise64) || trace=()
    limit_run "${trace[@]}" "$binary" "$work/fuse/file"
    case $answers in
      "0 -1") judge "a FUSE server interrupting every read" 4 "${name}ERR CODE: 4"$'\n'"Unknown ERR !"$'\n' ;;
      "0 3")
        judge "a FUSE server interrupting three reads" 0 "$digest"
        if grep -q SEQUENTIAL "$work/hints" && ! grep -q WILLNEED "$work/hints"; then
          echo "ok   a FUSE file told it is read in order, never asked ahead"
        else
          failed=$((failed + 1))
          echo "FAIL a FUSE file's hints: $(tr '\n' '|' <"$work/hints" | head -c 300)"
        fi ;;
      *) judge "a FUSE server interrupting every open" 4 "${name}ERR CODE: 4"$'\n'"INVALID HANDLE !"$'\n' ;;
    esac
    fusermount -u "$work/fuse" || true
    wait "$server" || true
  done
else
  echo "skip the FUSE rows: need a writable /dev/fuse, fusermount and Debian's python3-fusepy"
fi
echo "fault runs: $runs, failed: $failed"
[ "$failed" -eq 0 ]
