#!/usr/bin/env bash
# The release files as users get them, made by scripts/release.sh (here in
# build/dist, so that a dist/ made for a release is left alone):
# checksums; each archive unpacked into a temporary folder, its listing
# checked, every relative link of its README and pages followed inside it,
# and its command run on the sample on its CPU (natively, through qemu-user
# or under Wine); the Windows one's HTML page checked against the man page,
# and the committed doc/md5digest.1.txt against the page as it renders now;
# each .deb linted, its fields and contents
# checked and its command run; each Linux command read for its hardening
# (readelf: position-independent, ELF type DYN, but on s390x; full RELRO,
# BIND_NOW and GNU_RELRO; a stack that is not executable) and its build
# tree's Digester disassembled for the stack guard. The native .deb is also
# used from an unpacked root, man page and the page's example script
# included. Then a second build from a copy of the commit in another folder
# must give the same SHA256SUMS. In a throwaway clone, release.sh must refuse
# a checkout holding a file not committed, before it builds or writes
# anything. Only under CI (CI=true, as root) is the
# native package also installed with dpkg, used from the system and removed
# again; elsewhere the machine is left as it was found.
set -euo pipefail
cd "$(dirname "$0")/../.."
started=$SECONDS

say() { echo "package: $*"; }
fail() { echo "package: FAIL: $*"; exit 1; }

if ! command -v dpkg-query >/dev/null || ! command -v dpkg-deb >/dev/null; then
  say "skipped: this is not a Debian-based machine (no dpkg-query/dpkg-deb)"
  exit 77
fi
. scripts/legs/need.sh
need_packages cmake ninja-build g++ dpkg-dev file lintian groff man-db gzip coreutils tar python3 unzip \
  crossbuild-essential-i386 crossbuild-essential-arm64 crossbuild-essential-s390x qemu-user \
  g++-mingw-w64-x86-64-posix wine64

system_round_trip=0
if [ "${CI:-}" = true ] && [ "$(id -u)" -eq 0 ]; then
  if [ "$(dpkg-query -W -f='${Status}' md5digest 2>/dev/null || true)" = "install ok installed" ]; then
    say "notice: md5digest is already installed here; the dpkg -i / dpkg -r round trip is skipped so as not to disturb it"
  else
    system_round_trip=1
  fi
else
  say "not under CI (CI=true, as root): the package is checked unpacked, not installed"
fi

work=$(mktemp -d)
installed=0
cleanup() {
  if [ "$installed" -eq 1 ]; then
    say "removing the package after a failure"
    dpkg -r md5digest >/dev/null || true
  fi
  if [ -n "${second:-}" ]; then
    kill -- "-$second" 2>/dev/null || true
    wait "$second" 2>/dev/null || true
  fi
  if [ -n "${WINEPREFIX:-}" ]; then
    /usr/lib/wine/wineserver -k 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# --- the release files -------------------------------------------------------
# Both builds take their times from the last commit.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) || fail "not a git checkout: set SOURCE_DATE_EPOCH"
fi
export SOURCE_DATE_EPOCH
checkout=""
[ "$(git rev-parse --show-toplevel 2>/dev/null)" != "$(pwd -P)" ] || checkout=yes

# A release is the commit's files and nothing else: with an untracked file
# in the checkout, release.sh refuses, and writes no release file. Tried in
# a clone in the temporary folder, so that this tree is never touched.
if [ -n "$checkout" ]; then
  refusal="$work/refusal"
  git clone -q --shared . "$refusal/md5digest"
  git -C "$refusal/md5digest" checkout -q --detach "$(git rev-parse HEAD)"
  printf 'scratch\n' >"$refusal/md5digest/doc/zz-scratch.md"
  status=0
  (cd "$refusal/md5digest" && limited 120 bash scripts/release.sh "$refusal/dist" </dev/null) >"$refusal/log" 2>&1 ||
    status=$?
  [ "$status" -ne 0 ] || fail "release.sh made release files from a checkout holding an untracked file"
  grep -qF 'release: FAIL: refused: the checkout holds what is not committed (1 path(s), first doc/zz-scratch.md;' \
    "$refusal/log" || fail "release.sh, given an untracked file, exited $status and printed:"$'\n'"$(cat "$refusal/log")"
  [ ! -e "$refusal/dist" ] || fail "release.sh refused, but wrote $refusal/dist:"$'\n'"$(ls -A "$refusal/dist")"
  [ ! -e "$refusal/md5digest/build" ] || fail "release.sh refused, but only after building"
  say "release.sh refuses a checkout holding an untracked file, before building or writing anything"
  rm -rf "$refusal"
else
  say "not a git checkout: release.sh's refusal of uncommitted files is not tried"
fi

dist=build/dist
# What a user may keep beside the release files (an archive unpacked there
# as the README says, a signature) is neither removed nor summed.
mkdir -p "$dist/md5digest-unpacked"
: >"$dist/md5digest-0-linux.tar.gz.sig"
bash scripts/release.sh "$dist"
rmdir "$dist/md5digest-unpacked" && rm "$dist/md5digest-0-linux.tar.gz.sig" ||
  fail "release.sh removed what it did not make"
release_seconds=$((SECONDS - started))

# The second build, from a copy of the commit (release.sh has refused any
# change not committed) in a folder of another path with nothing built,
# runs while this one's files are checked; its SHA256SUMS is compared at the
# end. Its own process group, so that a failure here stops all of it.
copy="$work/elsewhere/md5digest"
mkdir -p "$copy"
if [ -n "$checkout" ]; then
  git archive HEAD | tar -xf - -C "$copy"
else
  tar --exclude=./build --exclude=./dist -cf - . | tar -xf - -C "$copy"
fi
say "second build, in $copy, while the first one's files are checked"
(cd "$copy" && exec setsid bash scripts/release.sh >"$work/second.log" 2>&1) &
second=$!
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/package/CMakeCache.txt)
[ -n "$version" ] || fail "no project version in build/package/CMakeCache.txt"

linux_cpus=(x86_64 i686 aarch64 s390x)
deb_archs=(amd64 i386 arm64 s390x)
expected_files=(SHA256SUMS "md5digest-$version-x86_64-windows.zip")
for i in 0 1 2 3; do
  expected_files+=("md5digest-$version-${linux_cpus[i]}-linux.tar.gz" "md5digest_${version}_${deb_archs[i]}.deb")
done
[ "$(ls "$dist" | sort)" = "$(printf '%s\n' "${expected_files[@]}" | sort)" ] \
  || fail "$dist holds:"$'\n'"$(ls "$dist")"$'\n'"expected:"$'\n'"$(printf '%s\n' "${expected_files[@]}" | sort)"
[ "$(awk '{print $2}' "$dist/SHA256SUMS" | sort)" = "$(printf '%s\n' "${expected_files[@]}" | grep -vx SHA256SUMS | sort)" ] \
  || fail "SHA256SUMS does not name every file of $dist:"$'\n'"$(cat "$dist/SHA256SUMS")"
(cd "$dist" && sha256sum --check --strict --quiet SHA256SUMS) || fail "sha256sum -c SHA256SUMS"
say "$dist holds the $(( ${#expected_files[@]} - 1 )) release files, and SHA256SUMS checks"

# A plain install puts the command and the uncompressed page under the prefix.
cmake --install build/package --prefix "$work/prefix" >/dev/null
for f in bin/md5digest share/man/man1/md5digest.1; do
  [ -f "$work/prefix/$f" ] || fail "cmake --install did not put $f under the prefix"
done

check_page() {  # $1: a man page, gzipped or not; groff must not warn on it
  local warnings
  warnings=$(zcat -f "$1" | groff -man -ww -z 2>&1)
  [ -z "$warnings" ] || fail "groff warns on $1:"$'\n'"$warnings"
}

# The reference as plain text, committed for readers without man, is the
# built page as rendered now.
bash scripts/render-manpage.sh build/package/doc/md5digest.1 | cmp -s - doc/md5digest.1.txt ||
  fail "doc/md5digest.1.txt is not the man page as it renders now: run scripts/render-manpage.sh and commit the file"
say "doc/md5digest.1.txt is the built man page's rendering"

# Each command must print the sample's report, byte for byte, exit 0.
sample=samples/quick-brown-fox.txt
printf 'File name: quick-brown-fox.txt\nMD5 hash of file: 9E107D9D372BB6826BD81D3542A419D6\n' >"$work/report"
printf 'File name: quick-brown-fox.txt\r\nMD5 hash of file: 9E107D9D372BB6826BD81D3542A419D6\r\n' >"$work/report.crlf"
run_sample() {  # $1: what is run; $2: the expected report; then the command, with its launcher
  local what=$1 expected=$2 status=0
  shift 2
  limited 120 "$@" "$sample" </dev/null >"$work/out" 2>/dev/null || status=$?  # 124: out of time
  [ "$status" -eq 0 ] || fail "$what exited $status on $sample"
  cmp -s "$work/out" "$expected" ||
    fail "$what printed:"$'\n'"$(cat -A "$work/out")"$'\n'"expected:"$'\n'"$(cat -A "$expected")"
}

# How each Linux CPU's command is run here, and what `file` must say of it.
launcher_for() {
  case $1 in
    x86_64) launcher=() ;;
    # A static i686 program runs natively where the kernel runs 32-bit x86 (126: it cannot;
    # bash says so, where timeout's execvp would hand the file to sh).
    i686) launcher=(); limited 60 bash -c 'exec "$0"' "$2" </dev/null >/dev/null 2>&1 || [ $? -ne 126 ] ||
            launcher=(qemu-i386) ;;
    *) launcher=("qemu-$1") ;;
  esac
}
# s390x's C library ships no rcrt1.o: static, not position-independent there.
file_says() {
  case $1 in
    x86_64) echo 'ELF 64-bit LSB pie executable, x86-64, .*static-pie linked' ;;
    i686) echo 'ELF 32-bit LSB pie executable, Intel 80386, .*static-pie linked' ;;
    aarch64) echo 'ELF 64-bit LSB pie executable, ARM aarch64, .*static-pie linked' ;;
    s390x) echo 'ELF 64-bit MSB executable, IBM S/390, .*statically linked' ;;
  esac
}
# The build tree each CPU's command comes from (release.sh), unstripped.
build_of() {
  case $1 in
    x86_64) echo build/package ;;
    i686) echo build/i686 ;;
    aarch64) echo build/arm64 ;;
    s390x) echo build/s390x ;;
  esac
}
# What cmake/hardening.cmake asks for, read from the ELF itself: checksec's
# summary cannot see a canary in a stripped static program.
check_hardened() {  # $1: CPU, $2: the command as shipped
  local type segments stack tree body objdump
  type=$(readelf -h "$2" | sed -n 's/^ *Type: *\([A-Z]*\).*/\1/p')
  if [ "$1" = s390x ]; then
    [ "$type" = EXEC ] || fail "$2: ELF type $type, expected EXEC (static, not position-independent, on s390x)"
    # Nothing is resolved after start-up: no dynamic section, so no BIND_NOW to ask for.
    grep -q 'no dynamic section' <<<"$(readelf -d "$2")" || fail "$2: a static s390x program with a dynamic section"
  else
    [ "$type" = DYN ] || fail "$2 is not position-independent: ELF type $type, not DYN"
    grep -qE '\(FLAGS\) +BIND_NOW|\(FLAGS_1\) +Flags: (.* )?NOW( |$)' <<<"$(readelf -d "$2")" ||
      fail "$2 has no BIND_NOW: its relocations are not all resolved at start-up, so RELRO is partial"
  fi
  segments=$(readelf -lW "$2")
  grep -q '^ *GNU_RELRO ' <<<"$segments" || fail "$2 has no GNU_RELRO segment"
  stack=$(awk '$1 == "GNU_STACK" {print $7}' <<<"$segments")
  [ "$stack" = RW ] || fail "$2: the stack is ${stack:-not marked (so executable)}, expected RW"
  # The shipped command is its build tree's, stripped: the same build ID.
  tree="$(build_of "$1")/md5digest"
  [ "$(readelf -n "$tree" | grep 'Build ID')" = "$(readelf -n "$2" | grep 'Build ID')" ] ||
    fail "$2 is not $tree stripped (another build ID)"
  # Our own code carries the stack guard: the Digester, with its 1024-byte
  # buffer in the frame, checks the canary (and calls __stack_chk_fail when
  # it has changed).
  objdump=$(sed -n 's/^CMAKE_OBJDUMP:FILEPATH=//p' "$(build_of "$1")/CMakeCache.txt")  # the target's
  # (awk reads to the end: an early exit would stop objdump with SIGPIPE)
  body=$("$objdump" -d --no-show-raw-insn -C "$tree" | awk '/<Digester::HashFile\(\)>:$/ {on = 1} on && /^$/ {on = 0} on')
  [ -n "$body" ] || fail "no Digester::HashFile() in $tree"
  grep -q '<__stack_chk_fail>' <<<"$body" || fail "Digester::HashFile() in $tree has no stack guard"
  # On x86 the guard is read from the thread's block; and our code carries
  # control-flow protection: a landing pad on x86, a signed return address
  # on arm64.
  local want=() instruction
  case $1 in
    x86_64) want=('%fs:0x28' endbr64) ;;
    i686) want=('%gs:0x14' endbr32) ;;
    aarch64) want=(paciasp) ;;
  esac
  for instruction in "${want[@]}"; do
    grep -qF "$instruction" <<<"$body" || fail "Digester::HashFile() in $tree lacks $instruction"
  done
}
check_command() {  # $1: CPU, $2: the command; runs it on the sample
  local what
  what=$(file -b "$2")
  grep -q "$(file_says "$1")" <<<"$what" || fail "$2 is not a static $1 executable: $what"
  check_hardened "$1" "$2"
  # x86-64 users get the AVX-512 block function, chosen where it wins.
  [ "$1" != x86_64 ] || grep -q vpternlogd <<<"$(objdump -d "$2")" || fail "$2 lacks the AVX-512 block function"
  launcher_for "$1" "$2"
  run_sample "$2" "$work/report" "${launcher[@]}" "$2"
}

# The documents every archive carries beside its README, as the checkout
# has them, and their lines in a listing ($1: the folder, $2: the owner
# column: tar's "0/0 ", unzip's none).
mapfile -t docs < <(printf '%s\n' doc/*.md doc/*.svg doc/md5digest.1.in doc/md5digest.1.txt | LC_ALL=C sort)
docs_listing() {
  printf '%s\n' "drwxr-xr-x $2$1/doc/"
  printf -- "-rw-r--r-- $2$1/%s\n" "${docs[@]}"
}
# $1: an unpacked archive's folder. Its README, licence and documents are
# the checkout's, and every relative link in its pages names a file there
# and, after a #, a heading of that file (as GitHub makes anchors of them).
check_documents() {
  local name page target file anchor headings
  name=$(basename "$1")
  cmp -s README.md "$1/README.md" || fail "$name: README.md is not the checkout's"
  cmp -s LICENSE "$1/LICENSE" || fail "$name: LICENSE is not the checkout's"
  for file in "${docs[@]}"; do
    cmp -s "$file" "$1/$file" || fail "$name: $file is not the checkout's"
  done
  for page in "$1/README.md" "$1"/doc/*.md; do
    while IFS= read -r target; do
      file=${target%%#*} anchor=${target#"$file"}
      file="$(dirname "$page")/${file:-$(basename "$page")}"
      [ -f "$file" ] || fail "$name: ${page#"$1/"} links to $target, which is not in the archive"
      [ -n "$anchor" ] || continue
      headings=$(sed -n -E 's/^#+ +//p' "$file" | tr A-Z a-z | sed -E 's/[^a-z0-9 _-]//g; s/ /-/g')
      grep -qxF -- "${anchor#\#}" <<<"$headings" || fail "$name: ${page#"$1/"} links to $target, a heading its file lacks"
    done < <(grep -o '](\([^)]*\))' "$page" | sed 's/^](\(.*\))$/\1/' | grep -v '^[a-z]*:' || true)
  done
}

# --- the Linux archives ------------------------------------------------------
for cpu in "${linux_cpus[@]}"; do
  dir="md5digest-$version-$cpu-linux"
  listing=$(tar -tvzf "$dist/$dir.tar.gz" --numeric-owner | awk '{print $1, $2, $6}')
  expected="drwxr-xr-x 0/0 $dir/
-rw-r--r-- 0/0 $dir/LICENSE
-rw-r--r-- 0/0 $dir/README.md
$(docs_listing "$dir" "0/0 ")
-rwxr-xr-x 0/0 $dir/md5digest
-rw-r--r-- 0/0 $dir/md5digest.1"
  [ "$listing" = "$expected" ] || fail "$dir.tar.gz holds:"$'\n'"$listing"$'\n'"expected:"$'\n'"$expected"
  mkdir "$work/$cpu"
  tar -xzf "$dist/$dir.tar.gz" -C "$work/$cpu"
  check_documents "$work/$cpu/$dir"
  check_page "$work/$cpu/$dir/md5digest.1"
  check_command "$cpu" "$work/$cpu/$dir/md5digest"
  say "$dir.tar.gz: listing, files and command${launcher[0]:+ (under ${launcher[0]})} as they should be"
done

# --- the Windows archive, its command under Wine -----------------------------
dir="md5digest-$version-x86_64-windows"
zip="$dist/$dir.zip"
listing=$(unzip -Z "$zip" | grep -E '^[-d][-rwx]{9} ' | awk '{print $1, $NF}')
expected="drwxr-xr-x $dir/
-rw-r--r-- $dir/LICENSE
-rw-r--r-- $dir/README.md
$(docs_listing "$dir" "")
-rwxr-xr-x $dir/md5digest.exe
-rw-r--r-- $dir/md5digest.html"
[ "$listing" = "$expected" ] || fail "$dir.zip holds:"$'\n'"$listing"$'\n'"expected:"$'\n'"$expected"
unzip -q "$zip" -d "$work/windows"
check_documents "$work/windows/$dir"
# The reference for Windows, which has no man: the shipped man page as groff
# renders it to HTML, whole (its last section included).
html="$work/windows/$dir/md5digest.html"
LC_ALL=C TZ=UTC groff -man -Thtml "$work/x86_64/md5digest-$version-x86_64-linux/md5digest.1" 2>/dev/null | cmp -s - "$html" ||
  fail "$dir.zip: md5digest.html is not the man page as groff renders it"
grep -q 'name="SEE ALSO"' "$html" || fail "$dir.zip: md5digest.html lacks the page's last section"
exe="$work/windows/$dir/md5digest.exe"
what=$(file -b "$exe")
grep -q '^PE32+ executable (console) x86-64' <<<"$what" || fail "md5digest.exe is not an x86-64 console program: $what"
# Stripped for the archive, and still no time in the header.
stamp=$(TZ=UTC x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^Time\/Date[[:space:]]*//p')
[ "$stamp" = "Thu Jan  1 00:00:00 1970" ] || fail "md5digest.exe's header holds a time: $stamp"
# A private prefix (see scripts/legs/windows.sh): no debugger on a crash,
# arguments as UTF-8, stderr away from pipes that stall Wine at exit.
export LANG=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" WINEPREFIX="$work/wine"
limited 300 /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1
run_sample "$exe under Wine" "$work/report.crlf" /usr/lib/wine/wine64 "$exe"
limited 120 /usr/lib/wine/wineserver -w
say "$dir.zip: listing, files and command (under Wine) as they should be"

# --- the Debian packages -----------------------------------------------------
for i in 0 1 2 3; do
  cpu=${linux_cpus[i]} arch=${deb_archs[i]}
  deb="$dist/md5digest_${version}_$arch.deb"
  [ "$(dpkg-deb -f "$deb" Package)" = md5digest ] || fail "$deb: package name"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$deb: version is not $version"
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "$deb: architecture is not $arch"
  [ "$(dpkg-deb -f "$deb" Section)" = utils ] || fail "$deb: section"
  [ -n "$(dpkg-deb -f "$deb" Installed-Size)" ] || fail "$deb: no Installed-Size"
  listing=$(dpkg-deb -c "$deb" | awk '{print $1, $2, $6}')
  expected="drwxr-xr-x root/root ./usr/
drwxr-xr-x root/root ./usr/bin/
-rwxr-xr-x root/root ./usr/bin/md5digest
drwxr-xr-x root/root ./usr/share/
drwxr-xr-x root/root ./usr/share/doc/
drwxr-xr-x root/root ./usr/share/doc/md5digest/
-rw-r--r-- root/root ./usr/share/doc/md5digest/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/md5digest/copyright
drwxr-xr-x root/root ./usr/share/lintian/
drwxr-xr-x root/root ./usr/share/lintian/overrides/
-rw-r--r-- root/root ./usr/share/lintian/overrides/md5digest
drwxr-xr-x root/root ./usr/share/man/
drwxr-xr-x root/root ./usr/share/man/man1/
-rw-r--r-- root/root ./usr/share/man/man1/md5digest.1.gz"
  [ "$listing" = "$expected" ] || fail "$deb holds:"$'\n'"$listing"$'\n'"expected:"$'\n'"$expected"
  dpkg-deb -x "$deb" "$work/deb-$arch"
  check_command "$cpu" "$work/deb-$arch/usr/bin/md5digest"
  say "$deb: fields, listing and command${launcher[0]:+ (under ${launcher[0]})} as they should be"
done
say "lintian"
lintian --fail-on error,warning --info "$dist"/*.deb || fail "lintian reports errors or warnings"

# --- the native package in use, from an unpacked root -----------------------
deb="$dist/md5digest_${version}_$(dpkg --print-architecture).deb"
packaged_page="$work/deb-$(dpkg --print-architecture)/usr/share/man/man1/md5digest.1.gz"
root="$work/deb-$(dpkg --print-architecture)"
newest=$(zcat "$root/usr/share/doc/md5digest/changelog.gz" | sed -n 1p)
[[ "$newest" == "md5digest ($version) "* ]] \
  || fail "the changelog's newest entry is not for $version (packaging/deb/changelog)"
grep -q '^\.TH .*"md5digest '"$version"'"' <<<"$(zcat "$packaged_page")" \
  || fail "the man page does not carry version $version"

check_page "$packaged_page"

# Each file's report against md5sum, whose digits are lowercase.
mkdir "$work/files"
: >"$work/files/empty"
printf abc >"$work/files/abc"
printf 'line one\nline two\n' >"$work/files/with space.txt"
head -c 1000003 /dev/urandom >"$work/files/random.bin"
cp "$deb" "$work/files/"
check_digests() {  # $1: the command to run
  local f want got status
  for f in "$work/files"/*; do
    want="File name: $(basename "$f")"$'\n'"MD5 hash of file: $(md5sum <"$f" | cut -c1-32 | tr a-f A-F)"
    status=0
    got=$(limited 60 "$1" "$f" </dev/null) || status=$?
    [ "$status" -eq 0 ] || fail "$1 $f exited $status"
    [ "$got" = "$want" ] || fail "$1 $f printed:"$'\n'"$got"$'\n'"expected:"$'\n'"$want"
  done
  say "$1: digests agree with md5sum"
}
check_digests "$root/usr/bin/md5digest"

rendered=$(MANPAGER=cat MANWIDTH=80 man -l "$packaged_page" 2>&1)
grep -q "md5digest - print the MD5 digest of one file" <<<"$rendered" \
  || fail "the rendered page lacks its NAME line:"$'\n'"$rendered"

# The page's example script, as a reader would copy it.
awk '/^ *#!\/bin\/sh$/{on=1} on&&/^$/{exit} on{print}' <<<"$rendered" \
  | sed 's/^ \{14\}//' >"$work/check.sh"
grep -q 'MD5 hash of file' "$work/check.sh" || fail "no example script in the rendered page"
# It calls md5digest from PATH: the unpacked one comes first.
(
  PATH="$root/usr/bin:$PATH"
  cd "$work/files"
  md5sum <abc | cut -c1-32 >expected.txt  # lowercase on purpose
  out=$(limited 60 sh "$work/check.sh" abc </dev/null) || fail "the page's example script rejects a right digest"
  [ "$out" = "abc: OK" ] || fail "the page's example script printed: $out"
  echo 00000000000000000000000000000000 >expected.txt
  status=0; limited 60 sh "$work/check.sh" abc </dev/null 2>/dev/null || status=$?
  [ "$status" -eq 1 ] || fail "the page's example script accepted a wrong digest (exit $status)"
  status=0; limited 60 sh "$work/check.sh" missing </dev/null 2>/dev/null || status=$?
  [ "$status" -eq 2 ] || fail "the page's example script exited $status on a missing file, not 2"
)
say "the man page's example script works"

# --- built again, elsewhere and later: the same bytes -------------------------
wait "$second" > /dev/null 2>&1 || { tail -n 40 "$work/second.log"; second=""; fail "the second build failed"; }
second=""
if ! cmp -s "$dist/SHA256SUMS" "$copy/dist/SHA256SUMS"; then
  rm -rf build/dist-second
  mv "$copy/dist" build/dist-second
  diff "$dist/SHA256SUMS" build/dist-second/SHA256SUMS || true
  fail "a second build gives other files; diffoscope on $dist and build/dist-second shows where they differ"
fi
say "the second build gave the same SHA256SUMS"
say "leg time: $((SECONDS - started)) s, of which the release build $release_seconds s"

# --- installed into the system and removed: CI only ---------------------------
[ "$system_round_trip" -eq 1 ] || exit 0
installed_page=/usr/share/man/man1/md5digest.1.gz
installed=1
dpkg -i "$deb"
hash -r
[ "$(command -v md5digest)" = /usr/bin/md5digest ] \
  || fail "md5digest on PATH is $(command -v md5digest || echo nothing), not /usr/bin/md5digest"
check_digests md5digest
if [ -f "$installed_page" ]; then
  [ "$(man -w md5digest)" = "$installed_page" ] || fail "man finds $(man -w md5digest), not $installed_page"
  check_page "$installed_page"
  rendered=$(MANPAGER=cat MANWIDTH=80 man md5digest 2>&1)
  grep -q "md5digest - print the MD5 digest of one file" <<<"$rendered" \
    || fail "man md5digest lacks the NAME line"
  say "rendered the installed page with man"
elif grep -hsq '^[[:space:]]*path-exclude[[:space:]=]*/usr/share/man' \
       /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/*; then
  say "dpkg is set here not to install man pages (path-exclude in /etc/dpkg)"
else
  fail "dpkg installed no $installed_page"
fi

dpkg -r md5digest
installed=0
hash -r
[ ! -e /usr/bin/md5digest ] || fail "/usr/bin/md5digest is still there after dpkg -r"
[ ! -e "$installed_page" ] || fail "$installed_page is still there after dpkg -r"
[ ! -e /usr/share/doc/md5digest ] || fail "/usr/share/doc/md5digest is still there after dpkg -r"
! command -v md5digest >/dev/null || fail "md5digest is still on PATH after dpkg -r"
say "installed, used and removed cleanly"
