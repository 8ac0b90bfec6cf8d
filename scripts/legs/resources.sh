#!/usr/bin/env bash
# The debug binary (dynamically linked, so valgrind sees every allocation)
# under memcheck, for success and each error a real system produces: no
# memory error, nothing left allocated, and no descriptor left open but the
# three standard ones. valgrind hides AVX-512 from the program (its CPU
# has none), so the binary runs `chained` here whatever this CPU has; the
# AVX-512 path's memory use is the sanitizer leg's, on a CPU that runs it.
# Each run is time-limited: a hang fails the leg.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/legs/need.sh
need_packages cmake ninja-build g++ libgtest-dev libssl-dev valgrind strace

cmake --preset debug >/dev/null
cmake --build --preset debug --target md5digest
binary="$PWD/build/debug/md5digest"
work="$PWD/build/resources"
rm -rf "$work"
mkdir -p "$work/folder"
head -c $((1024 * 1024 + 5)) /dev/urandom >"$work/data.bin"  # past the first read-ahead buffer: the reader thread runs; md5sum is the oracle
digest=$(md5sum "$work/data.bin" | cut -c1-32 | tr a-f A-F)

failed=0 runs=0
# check NAME EXPECTED-STATUS STDOUT-TARGET ARGS..., run under ${prefix[@]}
prefix=()
check() {
  local name=$1 expected=$2 out=$3
  shift 3
  local log="$work/$name.valgrind" status=0
  (
    # Only the standard descriptors may be open when the binary starts.
    for fd in $(ls /proc/$BASHPID/fd); do
      [ "$fd" -gt 2 ] && eval "exec $fd>&-" 2>/dev/null
    done
    exec timeout --kill-after=10 300 "${prefix[@]}" valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
      --errors-for-leak-kinds=all --show-leak-kinds=all --track-fds=yes \
      "$binary" "$@" <"/dev/null" >"$out" 2>"$log"
  ) || status=$?
  runs=$((runs + 1))
  local problems=""
  [ "$status" -eq "$expected" ] || problems+=" exit status $status, expected $expected;"
  case $status in 124 | 137) problems+=" out of time (300 s);" ;; esac
  grep -q 'ERROR SUMMARY: 0 errors' "$log" || problems+=" memory errors;"
  grep -q 'in use at exit: 0 bytes in 0 blocks\|All heap blocks were freed' "$log" || problems+=" memory left allocated;"
  grep -q 'FILE DESCRIPTORS: 3 open (3 std) at exit' "$log" || problems+=" descriptors left open;"
  if [ -n "$problems" ]; then
    failed=$((failed + 1))
    echo "FAIL $name:$problems"
    cat "$log"
  else
    echo "ok   $name (exit $status)"
  fi
}

check success 0 "$work/success.out" "$work/data.bin"
grep -qx "MD5 hash of file: $digest" "$work/success.out" || { echo "FAIL success: wrong digest"; failed=$((failed + 1)); }
check no-argument 22 "$work/no-argument.out"
check missing-file 2 "$work/missing.out" "$work/missing.bin"
check empty-path 2 "$work/empty.out" ""
check directory 21 "$work/directory.out" "$work/folder"
check read-error 5 "$work/read-error.out" /proc/self/mem
check output-full 28 /dev/full "$work/data.bin"
# fstat failing on the opened file (strace injects the error, on that file
# only): the reason must be its errno, not a guess from an unset struct.
prefix=(strace -f -qq -o /dev/null -P "$work/data.bin"
        -e trace=fstat,newfstatat,statx -e inject=fstat,newfstatat,statx:error=EIO)
check stat-error 5 "$work/stat-error.out" "$work/data.bin"
grep -qx 'INVALID HANDLE !' "$work/stat-error.out" || { echo "FAIL stat-error: report"; failed=$((failed + 1)); }
prefix=()
chmod 755 "$work"
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null &&
   setpriv --reuid=65534 --regid=65534 --clear-groups test -x "$binary"; then
  chmod 0 "$work/data.bin"
  prefix=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  check no-permission 13 "$work/no-permission.out" "$work/data.bin"
  prefix=()
else
  echo "skip no-permission: needs root, setpriv, and a build the nobody user can reach"
fi
echo "valgrind runs: $runs, failed: $failed"
[ "$failed" -eq 0 ]
