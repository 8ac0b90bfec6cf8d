#!/usr/bin/env bash
# Measures md5digest against every other MD5 command this machine has and
# prints the CPU and one Markdown table: each measure, its value in this run
# and whether that value meets its target. Timings are taken in turn
# (A B C A B C ...) and compared as ratios of medians, which holds up on a
# shared, noisy machine better than absolute seconds. Beside the peers it
# times the floors, the least this machine can take for the same work:
# hashing the file straight from the page cache (bench/read_floor.cpp),
# cached and, as root, cold; and a start that does nothing.
#
#   bench/compare.sh            # ROUNDS=7 COLD_ROUNDS=9 SIZE_MIB=1024 by default
#   AVX512=OFF bench/compare.sh  # builds without the AVX-512 block function
#
# Uses only what it finds and installs nothing: a peer command that is
# missing is a row saying so, without hyperfine the start-up times come from
# a shell loop, without /usr/bin/time or strace their rows say "not measured",
# and without root the cold rows say so. It drops the page cache only as root,
# and reads the file back in after the cold rounds.
# With gnuplot it also draws the whole-command throughputs as a bar chart
# (CHART, build/compare.svg by default).
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${ROUNDS:-7}
size_mib=${SIZE_MIB:-1024}
avx512=${AVX512:-}  # empty: as the release build has it (in, on x86-64)
chart=${CHART:-build/compare.svg}

have() { command -v "$1" >/dev/null 2>&1; }
note() { echo "$*" >&2; }
trap 'note "failed (status $?) at line $LINENO: $BASH_COMMAND"' ERR  # set -e alone says nothing

for tool in cmake awk; do
  have "$tool" || { note "missing: $tool"; exit 1; }
done

# --- builds -----------------------------------------------------------------
note "building (release preset, and the engine benchmark with g++ and clang++; AVX-512 path ${avx512:-as released})"
options=(-DMD5DIGEST_TESTS=OFF)
# -U: an earlier run's setting must not stay in the build folders' caches.
[ -n "$avx512" ] && options+=(-DMD5DIGEST_AVX512="$avx512") || options+=(-UMD5DIGEST_AVX512)
cmake --preset release -B build/bench-command "${options[@]}" >/dev/null
cmake --build build/bench-command --target md5digest >/dev/null
cmake --preset release -B build/bench-gcc -DMD5DIGEST_BENCH=ON "${options[@]}" >/dev/null
cmake --build build/bench-gcc --target engine_bench hash_memory read_floor do_nothing md5digest_no_hint >/dev/null
if have clang++; then
  cmake --preset release-clang -B build/bench-clang -DMD5DIGEST_BENCH=ON "${options[@]}" \
    >/dev/null
  cmake --build build/bench-clang --target engine_bench >/dev/null
else
  note "missing: clang++ (its engine row is left out)"
fi
digest=$PWD/build/bench-command/md5digest

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
note "making a ${size_mib} MiB file"
head -c $((size_mib << 20)) /dev/urandom >"$tmp/big"
head -c $((64 << 20)) "$tmp/big" >"$tmp/64m"
: >"$tmp/empty"
cat "$tmp/big" "$tmp/64m" >/dev/null  # into the page cache

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", a / b}'; }
secs() { awk -v v="$1" 'BEGIN {printf "%.3f s", v / 1e6}'; }
now_ns() { date +%s%N; }
# timed FILE COMMAND...: runs COMMAND, its output dropped, and appends its
# wall time in microseconds to FILE.
timed() {
  local out=$1 start end
  shift
  start=$(now_ns)
  "$@" >/dev/null
  end=$(now_ns)
  echo $(((end - start) / 1000)) >>"$out"
}

# --- peers: whichever are installed, each checked against our digest ---------
# "label|command"; the label is what the table shows.
peers=("md5sum|md5sum" "openssl dgst -md5|openssl dgst -md5" "rhash --md5|rhash --md5"
  "busybox md5sum|busybox md5sum" "md5deep|md5deep" "7zz h -scrcMD5|7zz h -scrcMD5")
expected=$("$digest" "$tmp/64m" | awk '/^MD5 hash of file: / {print tolower($5)}')
commands=("$digest")
labels=("md5digest")
declare -A absent
for peer in "${peers[@]}"; do
  label=${peer%%|*} cmd=${peer#*|}
  if ! have "${cmd%% *}"; then
    absent[$label]="not installed"
  elif ! out=$($cmd "$tmp/64m" 2>/dev/null) || ! grep -qi "$expected" <<<"$out"; then
    absent[$label]="not measured (did not print the digest)"  # a build without MD5, say
  else
    commands+=("$cmd")
    labels+=("$label")
  fi
done

# The floors: the least this machine can take for the command's work.
floor=build/bench-gcc/bench/read_floor
do_nothing=build/bench-gcc/bench/do_nothing
floor_digest=$("$floor" "$tmp/big")
ours_digest=$("$digest" "$tmp/big" | awk '/^MD5 hash of file: / {print $5}')
if [ "$floor_digest" != "$ours_digest" ]; then
  note "the reading floor's digest ($floor_digest) is not the command's ($ours_digest)"
  exit 1
fi

# paired A_FILE B_FILE: "median spread fastest" of the rounds' A/B ratios,
# the last the fastest A against the fastest B.
paired() {
  local ratios
  ratios=$(paste "$1" "$2" | awk '{print $1 / $2}')
  echo "$(median <<<"$ratios" | awk '{printf "%.3f", $1}')" \
    "$(sort -g <<<"$ratios" | awk 'NR == 1 {lo = $1} {hi = $1} END {printf "%.3f-%.3f", lo, hi}')" \
    "$(ratio "$(sort -g "$1" | head -n 1)" "$(sort -g "$2" | head -n 1)")"
}

# --- 1 GiB, cached: the commands in turn --------------------------------------
# Every command runs under /usr/bin/time, so all pay the same wrapper; the
# cost-of-reading row shows the CPU time it reports beside the wall time it
# compares (on a loaded machine, wall time includes waiting for a core).
# Each round also times the same hashing without the reading (hash_memory:
# the command's engine, start-up and 1024-byte updates, from memory), right
# after the command, so that each round gives one paired ratio; and the
# reading floor, for another.
memory=build/bench-gcc/bench/hash_memory
note "timing ${rounds} rounds on the ${size_mib} MiB file: ${labels[*]}, the reading floor and the hashing alone"
timer=()
[ -x /usr/bin/time ] && timer=(/usr/bin/time -f "%U %S" -o "$tmp/cpu")
for ((r = 0; r < rounds; r++)); do
  # The machine may have paged part of the file out since the last round.
  cat "$tmp/big" >/dev/null
  for i in "${!commands[@]}"; do
    # shellcheck disable=SC2086  # a peer's command is several words
    timed "$tmp/big.$i" "${timer[@]}" ${commands[$i]} "$tmp/big"
    [ "$i" = 0 ] && [ -n "${timer[*]}" ] &&
      awk '{printf "%.0f\n", ($1 + $2) * 1e6}' "$tmp/cpu" >>"$tmp/cpu.ours"
    if [ "$i" = 0 ]; then
      timed "$tmp/floor" "${timer[@]}" "$floor" "$tmp/big"
      timed "$tmp/memory" "${timer[@]}" "$memory" $((size_mib << 20))
    fi
  done
done
read -r reading_median reading_spread reading_fastest < <(paired "$tmp/big.0" "$tmp/memory")
read -r floor_median floor_spread floor_fastest < <(paired "$tmp/big.0" "$tmp/floor")
memory_us=$(median <"$tmp/memory")
floor_us=$(median <"$tmp/floor")
declare -A big
for i in "${!commands[@]}"; do big[${labels[$i]}]=$(median <"$tmp/big.$i"); done
big_ours=${big[md5digest]}
cpu_note="CPU time not measured: needs /usr/bin/time"
[ -s "$tmp/cpu.ours" ] && cpu_note="CPU time, user + system, of both threads: $(median <"$tmp/cpu.ours" | awk '{printf "%.3f s", $1 / 1e6}')"
big_md5sum=${big[md5sum]:-}

# --- cold: the page cache dropped before every run -----------------------------
# What the command takes on a file that is not cached, against the reading
# floor and `cat` (whichever is slower is what the storage and the hashing
# allow) and md5sum. Needs root, to drop the caches.
cold_rounds=${COLD_ROUNDS:-9}
# One cold round: each command on FILE, the page cache dropped before each,
# in an order that turns with the round (a run's place in it moved its time).
# Each command's times go to PREFIX.INDEX, a line a round.
cold_round() {
  local round=$1 file=$2 prefix=$3 i k
  shift 3
  for ((k = 0; k < $#; k++)); do
    i=$(((round + k) % $#))
    sync
    echo 3 >/proc/sys/vm/drop_caches
    timed "$prefix.$i" "${@:i+1:1}" "$file"
  done
}
cold=""
if [ "$(id -u)" != 0 ]; then
  cold="not measured (needs root, to drop the page cache)"
elif [ ! -w /proc/sys/vm/drop_caches ]; then
  cold="not measured (/proc/sys/vm/drop_caches is not writable here)"
else
  cold_commands=("$digest" "$floor" cat)
  [ -n "$big_md5sum" ] && cold_commands+=(md5sum)
  note "timing ${cold_rounds} cold rounds on the ${size_mib} MiB file: md5digest, the reading floor, cat${big_md5sum:+, md5sum}"
  for ((r = 0; r < cold_rounds; r++)); do
    cold_round "$r" "$tmp/big" "$tmp/cold" "${cold_commands[@]}"
  done
  cat "$tmp/big" >/dev/null  # cached again for what follows
  # Each round's slower of the floor and cat is what the command could reach.
  paste "$tmp/cold.1" "$tmp/cold.2" | awk '{print ($1 > $2) ? $1 : $2}' >"$tmp/cold.bound"
  read -r cold_median cold_spread cold_fastest < <(paired "$tmp/cold.0" "$tmp/cold.bound")
  cold_disk=$(sort -g "$tmp/cold.2" | awk 'NR == 1 {lo = $1} {hi = $1}
    END {printf "cat took %.2f-%.2f s, a swing of %.2fx", lo / 1e6, hi / 1e6, hi / lo}')
  [ -n "$big_md5sum" ] && read -r cold_md5sum_median cold_md5sum_spread _ < <(paired "$tmp/cold.0" "$tmp/cold.3")
fi

# --- cold, on the file systems users have: a loop image each ----------------
# ext4, xfs and btrfs on loop images of their own (direct I/O to the image
# file, so that the host's cache does not hold it), and overlay, the root of
# containers, over the ext4 one. Each round times the command, the reading
# floor and the command with its asking ahead left out, in turning order,
# the page cache dropped before each. Needs root, losetup and each file
# system's mkfs (Debian: e2fsprogs, xfsprogs, btrfs-progs); a file system
# that cannot be made is a row saying so.
fs_names=(ext4 xfs btrfs overlay)
declare -A fs_row
mounts=() loops=()
unmount_all() {
  local k
  for ((k = ${#mounts[@]} - 1; k >= 0; k--)); do umount "${mounts[k]}" 2>/dev/null || true; done
  for k in "${loops[@]}"; do losetup -d "$k" 2>/dev/null || true; done
  mounts=() loops=()
}
# mount_fs NAME: the file system NAME holding a copy of the file, at $tmp/fs.NAME/big
mount_fs() {
  local at=$tmp/fs.$1 loop
  mkdir -p "$at"
  if [ "$1" = overlay ]; then
    [ -e "$tmp/fs.ext4/big" ] || return 1
    mkdir -p "$tmp/fs.ext4/lower" "$tmp/fs.ext4/upper" "$tmp/fs.ext4/work"
    ln -f "$tmp/fs.ext4/big" "$tmp/fs.ext4/lower/big"
    mount -t overlay overlay -o "lowerdir=$tmp/fs.ext4/lower,upperdir=$tmp/fs.ext4/upper,workdir=$tmp/fs.ext4/work" "$at" || return 1
    mounts+=("$at")
    return 0
  fi
  have "mkfs.$1" || return 1
  truncate -s $((size_mib + 512))M "$tmp/$1.img"
  loop=$(losetup --direct-io=on -f --show "$tmp/$1.img") || return 1
  loops+=("$loop")
  "mkfs.$1" -q $([ "$1" = ext4 ] && echo -F || echo -f) "$loop" >/dev/null 2>&1 || return 1
  mount "$loop" "$at" || return 1
  mounts+=("$at")
  cp "$tmp/big" "$at/big" && sync
}
if [ "$(id -u)" != 0 ] || [ ! -w /proc/sys/vm/drop_caches ] || ! have losetup; then
  for fs in "${fs_names[@]}"; do fs_row[$fs]="not measured (needs root, losetup and a writable drop_caches)"; done
else
  trap 'unmount_all; rm -rf "$tmp"' EXIT
  no_hint=build/bench-gcc/bench/md5digest_no_hint
  measured=()
  for fs in "${fs_names[@]}"; do
    if mount_fs "$fs"; then
      measured+=("$fs")
    else
      fs_row[$fs]="not measured (could not make or mount it here; Debian: ${fs}-progs or its kernel module)"
    fi
  done
  fs_commands=("$digest" "$floor" "$no_hint")
  note "timing ${cold_rounds} cold rounds on each of: ${measured[*]} (md5digest, the reading floor, md5digest without asking ahead)"
  for ((r = 0; r < cold_rounds; r++)); do
    for fs in "${measured[@]}"; do
      cold_round "$r" "$tmp/fs.$fs/big" "$tmp/fs.$fs" "${fs_commands[@]}"
    done
  done
  for fs in "${measured[@]}"; do
    read -r vs_floor spread _ < <(paired "$tmp/fs.$fs.0" "$tmp/fs.$fs.1")
    read -r vs_no_hint no_hint_spread _ < <(paired "$tmp/fs.$fs.0" "$tmp/fs.$fs.2")
    fs_row[$fs]="${vs_floor}x the floor (${spread}), ${vs_no_hint}x the command without asking ahead (${no_hint_spread}); $(secs "$(median <"$tmp/fs.$fs.0")") vs $(secs "$(median <"$tmp/fs.$fs.1")") and $(secs "$(median <"$tmp/fs.$fs.2")")|$vs_floor"
  done
  unmount_all
  trap 'rm -rf "$tmp"' EXIT
  cat "$tmp/big" >/dev/null  # cached again for what follows
fi

# --- start-up, peak memory: against a do-nothing start, and md5sum -------------
note "timing start-up on an empty file"
startup=("$digest $tmp/empty" "$do_nothing")
[ -n "$big_md5sum" ] && startup+=("md5sum $tmp/empty")
if have hyperfine; then
  # Several short hyperfine calls, in alternating order; each gives a median
  # and a minimum (on a shared machine the least disturbed run).
  for ((r = 0; r < 7; r++)); do
    for i in "${!startup[@]}"; do
      hyperfine -N --style none --warmup 20 --runs 300 --export-csv "$tmp/hf.csv" \
        "${startup[$i]}" >/dev/null 2>&1
      awk -F, 'NR == 2 {printf "%d\n", $4 * 1e6}' "$tmp/hf.csv" >>"$tmp/empty.$i"  # median, us
      awk -F, 'NR == 2 {printf "%d\n", $7 * 1e6}' "$tmp/hf.csv" >>"$tmp/empty-min.$i"
    done
  done
  empty_how="hyperfine, 7 x 300 runs each"
else
  note "missing: hyperfine (start-up timed by a shell loop, which adds its own fork)"
  for ((r = 0; r < 5; r++)); do
    for i in "${!startup[@]}"; do
      start=$(now_ns)
      # shellcheck disable=SC2086  # a command and its file
      for ((k = 0; k < 200; k++)); do ${startup[$i]} >/dev/null; done
      end=$(now_ns)
      echo $(((end - start) / 200000)) >>"$tmp/empty.$i"
    done
  done
  empty_how="shell loop, 5 x 200 runs each"
fi
empty_ours=$(median <"$tmp/empty.0")
empty_floor=$(median <"$tmp/empty.1")
[ -n "$big_md5sum" ] && empty_md5sum=$(median <"$tmp/empty.2")

if [ -x /usr/bin/time ] && [ -n "$big_md5sum" ]; then
  peak() { /usr/bin/time -f %M "$@" >/dev/null 2>"$tmp/peak" && tail -n 1 "$tmp/peak"; }
  peak_ours=$(peak "$digest" "$tmp/big")
  peak_md5sum=$(peak md5sum "$tmp/big")
fi

# --- read(2) calls on 64 MiB --------------------------------------------------
reads=""
if have strace; then
  strace -f -c -e trace=read -o "$tmp/strace" "$digest" "$tmp/64m" >/dev/null  # every thread
  reads=$(awk '$NF == "read" {print $4}' "$tmp/strace")
else
  note "missing: strace"
fi

# --- slow storage: 256 MiB on a FUSE file system answering each read 1 ms late
# What `cat` takes there is the storage's floor; reading ahead on its own
# thread should keep the command at it. Needs /dev/fuse, fusermount and the
# fusepy module for the system's python3 (Debian: fuse, python3-fusepy);
# otherwise the row says which is missing.
slow=""
fuse_python=/usr/bin/python3
if [ ! -w /dev/fuse ]; then
  slow="not measured (no writable /dev/fuse here)"
elif ! have fusermount; then
  slow="not measured (no fusermount: Debian's fuse package)"
elif ! "$fuse_python" -c 'import fusepy' 2>/dev/null; then
  slow="not measured (no fusepy for $fuse_python: Debian's python3-fusepy)"
else
  note "timing ${rounds} rounds on a 256 MiB file on a slow FUSE file system"
  head -c $((256 << 20)) /dev/urandom >"$tmp/256m"
  mkdir "$tmp/slow"
  "$fuse_python" bench/slow_fs.py "$tmp/slow" "$tmp/256m" 2>"$tmp/slow.log" &
  fuse_pid=$!
  trap 'fusermount -u "$tmp/slow" 2>/dev/null; wait "$fuse_pid" 2>/dev/null; rm -rf "$tmp"' EXIT
  for ((k = 0; k < 50; k++)); do [ -e "$tmp/slow/file" ] && break || sleep 0.1; done
  if [ ! -e "$tmp/slow/file" ]; then
    slow="not measured (the FUSE file system did not mount: $(tr '\n' ' ' <"$tmp/slow.log"))"
  else
    slow_commands=(cat "${commands[@]}")
    for ((r = 0; r < rounds; r++)); do
      for i in "${!slow_commands[@]}"; do
        # shellcheck disable=SC2086  # a peer's command is several words
        timed "$tmp/slow.$i" ${slow_commands[$i]} "$tmp/slow/file"
      done
    done
    declare -A slow_times
    for i in "${!slow_commands[@]}"; do slow_times[$i]=$(median <"$tmp/slow.$i"); done
  fi
  fusermount -u "$tmp/slow" 2>/dev/null || true
  wait "$fuse_pid" 2>/dev/null || true
  trap 'rm -rf "$tmp"' EXIT
fi

# --- the engine alone, in memory ----------------------------------------------
note "running the engine benchmark"
# Prints "chained libcrypto dispatched name": bytes per second of `chained`,
# of libcrypto and of the block function the command chooses, and its name.
engine() {
  "$1" --benchmark_filter='^(chained|libcrypto|dispatched:.*)$' --benchmark_repetitions=20 \
    --benchmark_min_time=0.1 --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
    awk -F, '$1 == "\"chained_median\"" {c = $6} $1 == "\"libcrypto_median\"" {l = $6}
             $1 ~ /^"dispatched:.*_median"$/ {d = $6; n = $1; gsub(/^"dispatched:|_median"$/, "", n)}
             END {print c, l, d, n}'
}
read -r gcc_chained gcc_libcrypto gcc_dispatched chosen < <(engine build/bench-gcc/bench/engine_bench)
clang_chained=""
if [ -x build/bench-clang/bench/engine_bench ]; then
  read -r clang_chained clang_libcrypto clang_dispatched _ < <(engine build/bench-clang/bench/engine_bench)
fi

mbps() { awk -v v="$1" 'BEGIN {printf "%.0f", v / 1e6}'; }
# verdict VALUE OP LIMIT: "met" or "not met" for this run's value.
verdict() {
  awk -v v="$1" -v op="$2" -v t="$3" \
    'BEGIN {ok = (op == "<=") ? v + 0 <= t + 0 : v + 0 >= t + 0; print ok ? "met" : "not met"}'
}
row() { echo "| $1 | $2 | $3 |"; }

cpu=$(awk -F'\t*: ' '$1 == "model name" {n = $2} $1 == "cpu family" {f = $2} $1 == "model" {m = $2}
                     n != "" && f != "" && m != "" {print n ", family " f ", model " m; exit}' /proc/cpuinfo)
echo
echo "CPU: $cpu"
echo "$(nproc) processors; ${rounds} rounds; medians; block function chosen: ${chosen}"
echo
row "measure" "this run" "target: met?"
row "---" "---" "---"
# Where the AVX-512 function is chosen, it must show in the whole command.
declare -A targets=([md5sum]=0.90 ["openssl dgst -md5"]=0.92)
[ "$chosen" = avx512 ] && targets=([md5sum]=0.87 ["openssl dgst -md5"]=0.87)
for peer in "${peers[@]}"; do
  label=${peer%%|*}
  measure="${size_mib} MiB cached file, wall time vs ${label}"
  target=${targets[$label]:-}
  if [ -n "${absent[$label]:-}" ]; then
    row "$measure" "${absent[$label]}" "$([ -n "$target" ] && echo "<= ${target}x" || echo none)"
    continue
  fi
  r=$(ratio "$big_ours" "${big[$label]}")
  row "$measure" "${r}x ($(secs "$big_ours") vs $(secs "${big[$label]}"))" \
    "$([ -n "$target" ] && echo "<= ${target}x: $(verdict "$r" "<=" "$target")" || echo none)"
done
engine_rows() {  # compiler chained libcrypto dispatched
  local r target=1.04
  [ "$chosen" = avx512 ] && target=1.15
  r=$(ratio "$4" "$3")
  row "engine as dispatched (${chosen}), 1024-byte updates, vs libcrypto MD5 ($1)" \
    "${r}x throughput ($(mbps "$4") vs $(mbps "$3") MB/s)" ">= ${target}x: $(verdict "$r" ">=" "$target")"
  if [ "$chosen" = chained ]; then
    row "engine as dispatched, vs chained ($1)" "the same function" ">= 1.00x: met"
  else
    r=$(ratio "$4" "$2")
    row "engine as dispatched (${chosen}), vs chained ($1)" \
      "${r}x throughput ($(mbps "$4") vs $(mbps "$2") MB/s)" ">= 1.10x: $(verdict "$r" ">=" 1.10)"
  fi
}
engine_rows g++ "$gcc_chained" "$gcc_libcrypto" "$gcc_dispatched"
[ -n "$clang_chained" ] && engine_rows clang++ "$clang_chained" "$clang_libcrypto" "$clang_dispatched"
# Wall time, since the reading runs on a thread of its own beside the
# hashing: the CPU time of the two adds up, the time they take overlaps.
row "whole command vs the reading floor, ${size_mib} MiB cached (the file hashed straight from the page cache, its pages faulted in ahead by a second thread)" \
  "${floor_median}x median of ${rounds} paired rounds (${floor_spread}; fastest vs fastest ${floor_fastest}x; $(secs "$big_ours") vs $(secs "$floor_us") wall)" \
  "<= 1.02x: $(verdict "$floor_median" "<=" 1.02)"
if [ -z "$cold" ]; then
  row "whole command vs the reading floor, ${size_mib} MiB cold (page cache dropped before each run), against the slower of the floor and cat" \
    "${cold_median}x median of ${cold_rounds} paired rounds (${cold_spread}; fastest vs fastest ${cold_fastest}x; $(secs "$(median <"$tmp/cold.0")") vs $(secs "$(median <"$tmp/cold.bound")") wall; ${cold_disk}; the hashing alone, from memory, $(secs "$memory_us"))" \
    "<= 1.05x: $(verdict "$cold_median" "<=" 1.05)"
  if [ -n "$big_md5sum" ]; then
    row "whole command vs md5sum, ${size_mib} MiB cold" \
      "${cold_md5sum_median}x median of ${cold_rounds} paired rounds (${cold_md5sum_spread})" none
  fi
else
  row "whole command vs the reading floor, ${size_mib} MiB cold" "$cold" "<= 1.05x"
fi
for fs in "${fs_names[@]}"; do
  measure="whole command vs the reading floor, ${size_mib} MiB cold on ${fs} (a loop image; overlay over the ext4 one), ${cold_rounds} paired rounds"
  if [[ ${fs_row[$fs]} == *"|"* ]]; then
    row "$measure" "${fs_row[$fs]%|*}" "<= 1.05x: $(verdict "${fs_row[$fs]##*|}" "<=" 1.05)"
  else
    row "$measure" "${fs_row[$fs]}" "<= 1.05x"
  fi
done
row "whole command vs hashing from a 1 MiB buffer hot in cache, ${size_mib} MiB (not a floor: no file is read)" \
  "${reading_median}x median of ${rounds} paired rounds (${reading_spread}; fastest vs fastest ${reading_fastest}x; $(secs "$big_ours") vs $(secs "$memory_us") wall; ${cpu_note})" \
  "<= 1.03x: $(verdict "$reading_median" "<=" 1.03)"
read -r r spread fastest < <(paired "$tmp/empty.0" "$tmp/empty.1")
least=""
[ -s "$tmp/empty-min.0" ] && least="; fastest runs $(sort -g "$tmp/empty-min.0" | head -n 1) us vs $(sort -g "$tmp/empty-min.1" | head -n 1) us, $(ratio "$(sort -g "$tmp/empty-min.0" | head -n 1)" "$(sort -g "$tmp/empty-min.1" | head -n 1)")x"
row "empty file, wall time vs a program that does nothing, linked the same way (start-up floor)" \
  "${r}x median of the rounds' medians (${spread}; fastest median vs fastest median ${fastest}x${least}; ${empty_ours} us vs ${empty_floor} us; ${empty_how})" \
  "<= 1.05x: $(verdict "$r" "<=" 1.05)"
if [ -n "${empty_md5sum:-}" ]; then
  r=$(ratio "$empty_ours" "$empty_md5sum")
  row "empty file, wall time vs md5sum" \
    "${r}x (${empty_ours} us vs ${empty_md5sum} us; ${empty_how})" "<= 0.85x: $(verdict "$r" "<=" 0.85)"
else
  row "empty file, wall time vs md5sum" "not measured (md5sum not installed)" "<= 0.85x"
fi
if [ -n "${peak_ours:-}" ]; then
  row "peak memory, ${size_mib} MiB file" "${peak_ours} KiB vs md5sum's ${peak_md5sum} KiB" \
    "<= md5sum's: $(verdict "$peak_ours" "<=" "$peak_md5sum")"
else
  row "peak memory, ${size_mib} MiB file" "not measured (needs /usr/bin/time and md5sum)" "<= md5sum's"
fi
if [ -n "$reads" ]; then
  row "read calls, 64 MiB file" "$reads" "<= 1,100: $(verdict "$reads" "<=" 1100)"
else
  row "read calls, 64 MiB file" "not measured (strace missing)" "<= 1,100"
fi

slow_measure="256 MiB on FUSE, each read 1 ms late, wall time"
if [ -z "$slow" ]; then  # slow_times: 0 is cat's, i + 1 commands[i]'s
  r=$(ratio "${slow_times[1]}" "${slow_times[0]}")
  row "$slow_measure vs cat (the storage's floor)" \
    "${r}x ($(secs "${slow_times[1]}") vs $(secs "${slow_times[0]}"))" "<= 1.03x: $(verdict "$r" "<=" 1.03)"
  for ((i = 1; i < ${#commands[@]}; i++)); do
    row "$slow_measure vs ${labels[$i]}" \
      "$(ratio "${slow_times[1]}" "${slow_times[$((i + 1))]}")x ($(secs "${slow_times[1]}") vs $(secs "${slow_times[$((i + 1))]}"))" none
  done
else
  row "$slow_measure vs cat (the storage's floor)" "$slow" "<= 1.03x"
fi

# --- the whole-command throughputs as a bar chart ------------------------------
echo
if have gnuplot; then
  for i in "${!commands[@]}"; do  # bytes per microsecond: MB/s
    awk -v l="${labels[$i]}" -v b=$((size_mib << 20)) -v t="${big[${labels[$i]}]}" \
      'BEGIN {printf "\"%s\" %.0f\n", l, b / t}'
  done >"$tmp/chart.dat"
  mkdir -p "$(dirname "$chart")"
  gnuplot <<EOF
set terminal svg size 900,420 font "sans,12" background "white"
set output "$chart"
set title "MD5 of a ${size_mib} MiB cached file, whole command, median of ${rounds}\n${cpu}; md5digest block function: ${chosen}"
set ylabel "MB/s, higher is better"
set style fill solid 0.7 border -1
set boxwidth 0.6
set yrange [0:*]
set offsets 0.5, 0.5, graph 0.12, 0
set xtics scale 0
set grid ytics
unset key
plot "$tmp/chart.dat" using 0:2:xtic(1) with boxes lc rgb "#4a7ab5" notitle, \
     "" using 0:2:(sprintf("%d", \$2)) with labels offset 0,0.8 notitle
EOF
  echo "Chart: $chart"
else
  echo "Chart: not drawn (gnuplot is not installed)"
fi
