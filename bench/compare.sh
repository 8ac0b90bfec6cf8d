#!/usr/bin/env bash
# Measures md5digest against md5sum and `openssl dgst -md5` on this machine
# and prints one Markdown table of targets and measured values. Timings are
# taken in turn (A B C A B C ...) and compared as ratios of medians, which
# holds up on a shared, noisy machine better than absolute seconds.
#
#   bench/compare.sh            # ROUNDS=7 SIZE_MIB=1024 by default
#
# Uses only what it finds: without hyperfine the start-up times come from a
# shell loop, without /usr/bin/time or strace their rows say "not measured".
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${ROUNDS:-7}
size_mib=${SIZE_MIB:-1024}

have() { command -v "$1" >/dev/null 2>&1; }
note() { echo "$*" >&2; }

for tool in cmake md5sum openssl awk; do
  have "$tool" || { note "missing: $tool"; exit 1; }
done

# --- builds -----------------------------------------------------------------
note "building (release preset, and the engine benchmark with g++ and clang++)"
cmake --preset release >/dev/null
cmake --build --preset release --target md5digest >/dev/null
cmake --preset release -B build/bench-gcc -DMD5DIGEST_BENCH=ON -DMD5DIGEST_TESTS=OFF >/dev/null
cmake --build build/bench-gcc --target engine_bench >/dev/null
if have clang++; then
  cmake --preset release-clang -B build/bench-clang -DMD5DIGEST_BENCH=ON -DMD5DIGEST_TESTS=OFF \
    >/dev/null
  cmake --build build/bench-clang --target engine_bench >/dev/null
else
  note "missing: clang++ (its engine row is left out)"
fi
digest=$PWD/build/release/md5digest

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
note "making a ${size_mib} MiB file"
head -c $((size_mib << 20)) /dev/urandom >"$tmp/big"
head -c $((64 << 20)) "$tmp/big" >"$tmp/64m"
: >"$tmp/empty"
cat "$tmp/big" "$tmp/64m" >/dev/null  # into the page cache

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", a / b}'; }
now_ns() { date +%s%N; }

# --- 1 GiB, cached: the three commands in turn ------------------------------
note "timing ${rounds} rounds on the ${size_mib} MiB file"
commands=("$digest" "md5sum" "openssl dgst -md5")
for ((r = 0; r < rounds; r++)); do
  for i in 0 1 2; do
    start=$(now_ns)
    ${commands[$i]} "$tmp/big" >/dev/null
    end=$(now_ns)
    echo $(((end - start) / 1000)) >>"$tmp/big.$i"
  done
done
big_ours=$(median <"$tmp/big.0")
big_md5sum=$(median <"$tmp/big.1")
big_openssl=$(median <"$tmp/big.2")

# --- start-up: the empty file -----------------------------------------------
note "timing start-up on an empty file"
if have hyperfine; then
  # Several short hyperfine calls, in alternating order; each gives a median.
  for ((r = 0; r < 3; r++)); do
    for i in 0 1; do
      cmd=$([ "$i" = 0 ] && echo "$digest" || echo md5sum)
      hyperfine -N --style none --warmup 20 --runs 200 --export-csv "$tmp/hf.csv" \
        "$cmd $tmp/empty" >/dev/null 2>&1
      awk -F, 'NR == 2 {printf "%d\n", $4 * 1e6}' "$tmp/hf.csv" >>"$tmp/empty.$i"  # median, us
    done
  done
  empty_how="hyperfine, 3 x 200 runs each"
else
  note "missing: hyperfine (start-up timed by a shell loop, which adds its own fork)"
  for ((r = 0; r < 5; r++)); do
    for i in 0 1; do
      cmd=$([ "$i" = 0 ] && echo "$digest" || echo md5sum)
      start=$(now_ns)
      for ((k = 0; k < 200; k++)); do $cmd "$tmp/empty" >/dev/null; done
      end=$(now_ns)
      echo $(((end - start) / 200000)) >>"$tmp/empty.$i"
    done
  done
  empty_how="shell loop, 5 x 200 runs each"
fi
empty_ours=$(median <"$tmp/empty.0")
empty_md5sum=$(median <"$tmp/empty.1")

# --- peak memory --------------------------------------------------------------
if [ -x /usr/bin/time ]; then
  peak() { /usr/bin/time -f %M "$@" >/dev/null 2>"$tmp/peak" && tail -n 1 "$tmp/peak"; }
  peak_ours=$(peak "$digest" "$tmp/big")
  peak_md5sum=$(peak md5sum "$tmp/big")
  peak_cell="${peak_ours} KiB vs ${peak_md5sum} KiB"
else
  note "missing: /usr/bin/time (apt-get install time)"
  peak_cell="not measured (/usr/bin/time missing)"
fi

# --- read(2) calls on 64 MiB --------------------------------------------------
if have strace; then
  strace -c -e trace=read -o "$tmp/strace" "$digest" "$tmp/64m" >/dev/null
  reads=$(awk '$NF == "read" {print $4}' "$tmp/strace")
else
  note "missing: strace"
  reads="not measured (strace missing)"
fi

# --- the engine alone, in memory ----------------------------------------------
note "running the engine benchmark"
engine() {  # prints "chained_bytes_per_s libcrypto_bytes_per_s"
  "$1" --benchmark_filter='chained|libcrypto' --benchmark_repetitions=20 \
    --benchmark_min_time=0.1 --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
    awk -F, '$1 == "\"chained_median\"" {c = $6} $1 == "\"libcrypto_median\"" {l = $6}
             END {print c, l}'
}
read -r gcc_chained gcc_libcrypto < <(engine build/bench-gcc/bench/engine_bench)
clang_row=""
if [ -x build/bench-clang/bench/engine_bench ]; then
  read -r clang_chained clang_libcrypto < <(engine build/bench-clang/bench/engine_bench)
  clang_row="| engine alone, 1024-byte updates, vs libcrypto MD5 (clang++) | >= 1.04x throughput | $(ratio "$clang_chained" "$clang_libcrypto")x ($(awk -v v="$clang_chained" 'BEGIN {printf "%.0f", v / 1e6}') vs $(awk -v v="$clang_libcrypto" 'BEGIN {printf "%.0f", v / 1e6}') MB/s) |"
fi

# Whole command's time over what the engine alone (g++ build, the release
# preset's compiler) would take for the same bytes.
engine_us=$(awk -v b=$((size_mib << 20)) -v t="$gcc_chained" 'BEGIN {printf "%.0f", b / t * 1e6}')
reading=$(awk -v c="$big_ours" -v e="$engine_us" 'BEGIN {printf "%+.1f%%", (c / e - 1) * 100}')
mbps() { awk -v v="$1" 'BEGIN {printf "%.0f", v / 1e6}'; }
secs() { awk -v v="$1" 'BEGIN {printf "%.3f s", v / 1e6}'; }

cpu=$(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo)
echo
echo "CPU: ${cpu} ($(nproc) processors); ${rounds} rounds; medians"
echo
echo "| measure | target | measured |"
echo "|---|---|---|"
echo "| ${size_mib} MiB cached file, wall time vs md5sum | <= 0.90x | $(ratio "$big_ours" "$big_md5sum")x ($(secs "$big_ours") vs $(secs "$big_md5sum")) |"
echo "| ${size_mib} MiB cached file, wall time vs openssl dgst -md5 | <= 0.92x | $(ratio "$big_ours" "$big_openssl")x ($(secs "$big_ours") vs $(secs "$big_openssl")) |"
echo "| engine alone, 1024-byte updates, vs libcrypto MD5 (g++) | >= 1.04x throughput | $(ratio "$gcc_chained" "$gcc_libcrypto")x ($(mbps "$gcc_chained") vs $(mbps "$gcc_libcrypto") MB/s) |"
[ -n "$clang_row" ] && echo "$clang_row"
echo "| whole command vs engine alone, ${size_mib} MiB (cost of reading) | within 7% | ${reading} ($(secs "$big_ours") vs $(secs "$engine_us")) |"
echo "| empty file, wall time vs md5sum | <= 0.85x | $(ratio "$empty_ours" "$empty_md5sum")x (${empty_ours} us vs ${empty_md5sum} us; ${empty_how}) |"
echo "| peak memory, ${size_mib} MiB file | <= md5sum's | ${peak_cell} |"
echo "| read calls, 64 MiB file | <= 1,100 | ${reads} |"
