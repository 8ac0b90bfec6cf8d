#!/usr/bin/env bash
# Makes the release files in dist/ (or the folder given): for each Linux CPU
# we test (x86_64, i686, aarch64, s390x) the static command as a .tar.gz and
# a .deb, the Windows x64 command as a .zip, and SHA256SUMS over them all.
# Each archive carries doc/ beside the README, so that its links open in a
# download; the .zip also carries the man page as HTML, since Windows has
# no man.
# The Linux commands are hardened and position-independent (static-pie; on
# s390x static only): cmake/hardening.cmake, doc/hardening.md.
#
# The same commit gives the same bytes in any folder, at any time, on a
# Debian 12 machine with its packages: every time stored is SOURCE_DATE_EPOCH
# (the last commit's time unless it is set), members go in a fixed order with
# fixed owners and modes, and nothing records the folder, the user or the
# clock. Builds go to the presets' folders under build/, so that a build the
# test legs made is reused (a setting given there by hand, beyond the
# preset's, would carry over: the package leg's second build, from a clean
# copy, would then differ).
set -euo pipefail
out=$(realpath -m -- "${1:-$(dirname "$0")/../dist}")
cd "$(dirname "$0")/.."
umask 022
export LC_ALL=C TZ=UTC

say() { echo "release: $*"; }
fail() { echo "release: FAIL: $*" >&2; exit 1; }

[ "$(uname -m)" = x86_64 ] || fail "builds on x86-64 Linux (the other CPUs are cross-compiled)"
for tool in cmake ninja cpack dpkg-shlibdeps file i686-linux-gnu-g++ aarch64-linux-gnu-g++ s390x-linux-gnu-g++ \
            x86_64-w64-mingw32-g++-posix python3 groff pre-grohtml; do
  command -v "$tool" >/dev/null || fail "$tool is missing (install: apt-get install --no-install-recommends" \
    "cmake ninja-build g++ dpkg-dev file crossbuild-essential-i386 crossbuild-essential-arm64" \
    "crossbuild-essential-s390x g++-mingw-w64-x86-64-posix python3 groff)"
done

# In a checkout the files are the commit's, and nothing else: a change not
# committed, or a file not tracked, would go into the archives unseen. A
# source tree that is not a checkout (a tarball) is taken as it is.
checkout=""
if [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$(pwd -P)" ]; then
  checkout=yes
  changes=$(git status --porcelain)
  if [ -n "$changes" ]; then
    first=$(head -n 1 <<<"$changes")
    fail "refused: the checkout holds what is not committed ($(wc -l <<<"$changes") path(s), first ${first:3};" \
      "see git status): a release is made from a clean commit, so commit first"
  fi
fi
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
    fail "not a git checkout: set SOURCE_DATE_EPOCH to the release commit's time"
fi
export SOURCE_DATE_EPOCH

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$out"

build() {  # $1: preset; only the command is built, the tests are the legs' business
  say "building preset $1"
  cmake --preset "$1" --log-level=WARNING >/dev/null
  cmake --build --preset "$1" --target md5digest
  cmake --install "build/$1" --prefix "$stage/$1" --strip >/dev/null
}

# $1: the folder under $stage to pack; the archive is named like it
pack_tar() {
  tar --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner --format=gnu \
    -C "$stage" -cf - "$1" | gzip -9n >"$out/$1.tar.gz"
}
pack_zip() {
  python3 - "$SOURCE_DATE_EPOCH" "$stage" "$1" "$out/$1.zip" <<'EOF'
import os, sys, time, zipfile
epoch, stage, top, out = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip cannot hold a time before 1980

def entry(name, mode, dos_flags=0):
    info = zipfile.ZipInfo(name, stamp)
    info.create_system = 3  # Unix, so that unzip there restores the modes
    info.external_attr = mode << 16 | dos_flags
    return info

def add(archive, name):  # name: a folder or file under stage, added in name order
    path = os.path.join(stage, name)
    if os.path.isdir(path):
        archive.writestr(entry(name + "/", 0o40755, 0x10), b"")
        for child in sorted(os.listdir(path)):
            add(archive, f"{name}/{child}")
        return
    with open(path, "rb") as f:
        data = f.read()
    mode = 0o100755 if name.endswith(".exe") else 0o100644
    archive.writestr(entry(name, mode), data, zipfile.ZIP_DEFLATED, 9)

with zipfile.ZipFile(out, "w") as archive:
    add(archive, top)
EOF
}

# The README's documents: doc/ as the README links to it (the pages, the
# chart, the man page's source and its plain-text rendering); in a checkout
# the tracked ones only.
if [ -n "$checkout" ]; then
  mapfile -t docs < <(git ls-files -- ':(glob)doc/*.md' ':(glob)doc/*.svg' doc/md5digest.1.in doc/md5digest.1.txt)
else
  docs=(doc/*.md doc/*.svg doc/md5digest.1.in doc/md5digest.1.txt)
fi
# $1: the folder under $stage to give them
add_docs() {
  mkdir "$stage/$1/doc"
  cp "${docs[@]}" "$stage/$1/doc/"
  chmod 755 "$stage/$1/doc"
  chmod 644 "$stage/$1/doc"/*
}

# $1: preset, $2: CPU as the archive names it, $3: Debian architecture
linux() {
  local preset=$1 dir="md5digest-$version-$2-linux" deb="md5digest_${version}_$3.deb"
  [ "$preset" = package ] || build "$preset"
  mkdir "$stage/$dir"
  cp "$stage/$preset/bin/md5digest" "$stage/$preset/share/man/man1/md5digest.1" README.md LICENSE "$stage/$dir/"
  chmod 755 "$stage/$dir" "$stage/$dir/md5digest"
  chmod 644 "$stage/$dir/md5digest.1" "$stage/$dir/README.md" "$stage/$dir/LICENSE"
  add_docs "$dir"
  pack_tar "$dir"
  cpack --config "build/$preset/CPackConfig.cmake" -G DEB -B "$stage/cpack-$preset" >/dev/null
  [ "$(dpkg-deb -f "$stage/cpack-$preset/$deb" Architecture)" = "$3" ] || fail "$deb has the wrong architecture"
  mv "$stage/cpack-$preset/$deb" "$out/"
}

# The native build first: the version is read from its configuration.
build package
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/package/CMakeCache.txt)
[ -n "$version" ] || fail "no project version in build/package/CMakeCache.txt"

# The files this script makes, by name: only these are replaced and summed,
# whatever else the folder holds (an unpacked archive, a signature).
made=("md5digest-$version-x86_64-windows.zip")
for pair in x86_64:amd64 i686:i386 aarch64:arm64 s390x:s390x; do
  made+=("md5digest-$version-${pair%:*}-linux.tar.gz" "md5digest_${version}_${pair#*:}.deb")
done
(cd "$out" && rm -f -- "${made[@]}" SHA256SUMS)
linux package x86_64 amd64
linux i686 i686 i386
linux arm64 aarch64 arm64
linux s390x s390x s390x

build windows
dir="md5digest-$version-x86_64-windows"
mkdir "$stage/$dir"
cp "$stage/windows/md5digest.exe" "$stage/windows/README.md" "$stage/windows/LICENSE" "$stage/$dir/"
add_docs "$dir"
# The man page, version filled in, as a page any browser opens; groff takes
# its date from SOURCE_DATE_EPOCH.
groff -man -Thtml -ww "$stage/package/share/man/man1/md5digest.1" >"$stage/$dir/md5digest.html" 2>"$stage/groff.log"
[ ! -s "$stage/groff.log" ] || fail "groff warns on the man page:"$'\n'"$(cat "$stage/groff.log")"
chmod 644 "$stage/$dir/md5digest.html"
pack_zip "$dir"

mapfile -t made < <(printf '%s\n' "${made[@]}" | sort)
(cd "$out" && sha256sum -- "${made[@]}" >SHA256SUMS)
say "$out holds, for SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH:"
cat "$out/SHA256SUMS"
