#!/usr/bin/env bash
# The Debian package as a user gets it: built by the package workflow,
# checked with lintian, unpacked into a temporary root, the command and its
# man page used from there. Only under CI (CI=true, as root) is it also
# installed with dpkg, used from the system and removed again; elsewhere the
# machine is left as it was found.
set -euo pipefail
cd "$(dirname "$0")/../.."

say() { echo "package: $*"; }
fail() { echo "package: FAIL: $*"; exit 1; }

if ! command -v dpkg-query >/dev/null || ! command -v dpkg-deb >/dev/null; then
  say "skipped: this is not a Debian-based machine (no dpkg-query/dpkg-deb)"
  exit 77
fi
. scripts/legs/need.sh
need_packages cmake ninja-build g++ dpkg-dev file lintian groff man-db gzip coreutils

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
  rm -rf "$work"
}
trap cleanup EXIT

# --- build the package -------------------------------------------------------
cmake --workflow --preset package --fresh
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/package/CMakeCache.txt)
[ -n "$version" ] || fail "no project version in build/package/CMakeCache.txt"
deb="build/package/md5digest_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "$deb was not made"
say "built $deb (version $version)"

# A plain install puts the command and the uncompressed page under the prefix.
cmake --install build/package --prefix "$work/prefix" >/dev/null
for f in bin/md5digest share/man/man1/md5digest.1; do
  [ -f "$work/prefix/$f" ] || fail "cmake --install did not put $f under the prefix"
done

# --- the package's contents --------------------------------------------------
[ "$(dpkg-deb -f "$deb" Package)" = md5digest ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
[ "$(dpkg-deb -f "$deb" Section)" = utils ] || fail "package section"
[ -n "$(dpkg-deb -f "$deb" Installed-Size)" ] || fail "no Installed-Size"
listing=$(dpkg-deb -c "$deb")
for f in usr/bin/md5digest usr/share/man/man1/md5digest.1.gz \
         usr/share/doc/md5digest/copyright usr/share/doc/md5digest/changelog.gz; do
  grep -q " \./$f\$" <<<"$listing" || fail "$f is not in the package"
done
dpkg-deb -x "$deb" "$work/root"
packaged_page="$work/root/usr/share/man/man1/md5digest.1.gz"

newest=$(zcat "$work/root/usr/share/doc/md5digest/changelog.gz" | sed -n 1p)
[[ "$newest" == "md5digest ($version) "* ]] \
  || fail "the changelog's newest entry is not for $version (packaging/deb/changelog)"
grep -q '^\.TH .*"md5digest '"$version"'"' <<<"$(zcat "$packaged_page")" \
  || fail "the man page does not carry version $version"

check_page() {  # $1: a gzipped man page; groff must not warn on it
  local warnings
  warnings=$(zcat "$1" | groff -man -ww -z 2>&1)
  [ -z "$warnings" ] || fail "groff warns on $1:"$'\n'"$warnings"
}
check_page "$packaged_page"

say "lintian"
lintian --fail-on error --info "$deb" || fail "lintian reports errors"

# --- used from the unpacked root ----------------------------------------------
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
    got=$("$1" "$f") || status=$?
    [ "$status" -eq 0 ] || fail "$1 $f exited $status"
    [ "$got" = "$want" ] || fail "$1 $f printed:"$'\n'"$got"$'\n'"expected:"$'\n'"$want"
  done
  say "$1: digests agree with md5sum"
}
check_digests "$work/root/usr/bin/md5digest"

rendered=$(MANPAGER=cat MANWIDTH=80 man -l "$packaged_page" 2>&1)
grep -q "md5digest - print the MD5 digest of one file" <<<"$rendered" \
  || fail "the rendered page lacks its NAME line:"$'\n'"$rendered"

# The page's example script, as a reader would copy it.
awk '/^ *#!\/bin\/sh$/{on=1} on&&/^$/{exit} on{print}' <<<"$rendered" \
  | sed 's/^ \{14\}//' >"$work/check.sh"
grep -q 'MD5 hash of file' "$work/check.sh" || fail "no example script in the rendered page"
# It calls md5digest from PATH: the unpacked one comes first.
(
  PATH="$work/root/usr/bin:$PATH"
  cd "$work/files"
  md5sum <abc | cut -c1-32 >expected.txt  # lowercase on purpose
  out=$(sh "$work/check.sh" abc) || fail "the page's example script rejects a right digest"
  [ "$out" = "abc: OK" ] || fail "the page's example script printed: $out"
  echo 00000000000000000000000000000000 >expected.txt
  status=0; sh "$work/check.sh" abc 2>/dev/null || status=$?
  [ "$status" -eq 1 ] || fail "the page's example script accepted a wrong digest (exit $status)"
  status=0; sh "$work/check.sh" missing 2>/dev/null || status=$?
  [ "$status" -eq 2 ] || fail "the page's example script exited $status on a missing file, not 2"
)
say "the man page's example script works"

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
