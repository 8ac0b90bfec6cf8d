#!/usr/bin/env bash
# The Windows build, cross-compiled with mingw-w64 and tested under Wine:
# unit tests and held-file tests under ctest, the native black-box suite
# against the .exe, the embedded manifest, the imported DLLs, and a large
# file's digest against md5sum.
set -eu
cd "$(dirname "$0")/../.."

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
cxx=x86_64-w64-mingw32-g++-posix
packages="g++-mingw-w64-x86-64-posix wine64"

if ! command -v "$cxx" >/dev/null || [ ! -x "$wine" ]; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null && [ "${CI:-}" = true ]; then
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $packages
  else
    echo "skipping the Windows leg: needs $cxx and $wine (install: apt-get install --no-install-recommends $packages)"
    exit 77
  fi
fi

# A private Wine prefix with one server kept running, so each program starts
# in milliseconds; a crash must not start the debugger, and arguments must
# reach the program as UTF-8.
export LANG=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
WINEPREFIX="$(mktemp -d)"
scratch="$(mktemp -d)"
export WINEPREFIX
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX" "$scratch"
}
trap cleanup EXIT
"$wine" wineboot -i >/dev/null 2>&1 && "$wineserver" -w
"$wineserver" -p
"$wine" wineboot >/dev/null 2>&1

cmake --preset windows
cmake --build --preset windows
ctest --preset windows

exe=build/windows/md5digest.exe

echo "--- manifest"
# The resource script doubles the quotes inside its strings.
manifest="$(x86_64-w64-mingw32-windres -i "$exe" -O rc | sed 's/""/"/g')"
grep -q 'level="asInvoker"' <<<"$manifest"
grep -q 'uiAccess="false"' <<<"$manifest"
echo "asInvoker, uiAccess false: embedded"

echo "--- imported DLLs"
dlls="$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')"
echo $dlls
unexpected="$(grep -viE '^(kernel32|advapi32|shlwapi|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$' <<<"$dlls" || true)"
if [ -n "$unexpected" ]; then
  echo "the program needs DLLs that Windows does not provide: $unexpected"
  exit 1
fi

echo "--- black-box suite against $exe"
cmake --preset release >/dev/null
cmake --build --preset release --target blackbox_tests
MD5DIGEST_BIN="$exe" MD5DIGEST_LAUNCHER="$wine" MD5DIGEST_TARGET=windows \
  build/release/tests/blackbox_tests

echo "--- 100 MiB against md5sum"
head -c $((100 * 1024 * 1024)) /dev/urandom >"$scratch/big.bin"
expected="MD5 hash of file: $(md5sum <"$scratch/big.bin" | cut -c1-32 | tr a-f A-F)"
actual="$("$wine" "$exe" "$scratch/big.bin" 2>/dev/null | tr -d '\r' | tail -n 1)"
if [ "$actual" != "$expected" ]; then
  echo "expected: $expected"
  echo "actual:   $actual"
  exit 1
fi
echo "$actual"
