#!/usr/bin/env bash
# The Windows build, cross-compiled with mingw-w64 and tested under Wine:
# the unit tests under ctest (the real backend on a named pipe among them),
# the native black-box table against the .exe (files held open by cmd
# included), the embedded manifest, the imported DLLs, the header's
# hardening (DllCharacteristics: dynamic base with its relocations,
# high-entropy VA, NX), and a large file's digest against md5sum. Every
# Wine run is time-limited: a hang fails the leg.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/legs/need.sh  # for limited

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
cxx=x86_64-w64-mingw32-g++-posix
packages="g++-mingw-w64-x86-64-posix wine64 libxml2-utils strace"  # strace counts the reads through Wine

if ! command -v "$cxx" >/dev/null || [ ! -x "$wine" ] || ! command -v xmllint >/dev/null || ! command -v strace >/dev/null; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null && [ "${CI:-}" = true ]; then
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $packages
  else
    echo "skipping the Windows leg: needs $cxx, $wine, xmllint and strace (install: apt-get install --no-install-recommends $packages)"
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
limited 300 "$wine" wineboot -i </dev/null >/dev/null 2>&1 && limited 120 "$wineserver" -w
"$wineserver" -p
limited 120 "$wine" wineboot </dev/null >/dev/null 2>&1

cmake --preset windows
cmake --build --preset windows
ctest --preset windows

exe=build/windows/md5digest.exe

echo "--- manifest"
# The resource script prints the XML as C strings with doubled quotes. A
# malformed manifest stops the program from starting on Windows (14001), and
# Wine does not check it: so check it here.
windres_rc="$(x86_64-w64-mingw32-windres -i "$exe" -O rc)"
sed -n 's/^  "\(.*\)"$/\1/p' <<<"$windres_rc" | sed 's/""/"/g; s/\\n$//' >"$scratch/manifest.xml"
xmllint --noout "$scratch/manifest.xml"
setting() { xmllint --xpath "string(//*[local-name()='$1']${2-})" "$scratch/manifest.xml"; }
[ "$(setting requestedExecutionLevel /@level)" = asInvoker ]
[ "$(setting requestedExecutionLevel /@uiAccess)" = false ]
[ "$(setting longPathAware)" = true ]
[ "$(setting supportedOS /@Id)" = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}" ]  # Windows 10 and 11
echo "well-formed; asInvoker, uiAccess false, long-path aware, Windows 10/11"

echo "--- standard output on NUL, from cmd"
printf abc >"$scratch/abc.txt"
# cmd takes Windows paths: Wine's drive Z: is the Unix root.
winepath_of() { local p; p=$(realpath "$1"); printf 'Z:%s' "${p//\//\\}"; }
limited 120 "$wine" cmd /c "$(winepath_of "$exe") $(winepath_of "$scratch/abc.txt") > NUL" </dev/null >/dev/null 2>&1 ||
  { echo "md5digest.exe ... > NUL failed with exit $?"; exit 1; }
echo "exit 0"

echo "--- imported DLLs"
dlls="$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')"
echo $dlls
unexpected="$(grep -viE '^(kernel32|advapi32|shlwapi|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$' <<<"$dlls" || true)"
if [ -n "$unexpected" ]; then
  echo "the program needs DLLs that Windows does not provide: $unexpected"
  exit 1
fi

echo "--- hardening: DllCharacteristics"
# Loaded at a random address anywhere in 64-bit space, data not executable:
# what mingw-w64's binutils set by default, and Windows' own programs have.
# A dynamic base needs the relocations to move the image by.
header="$(x86_64-w64-mingw32-objdump -p "$exe")"
flags="$(sed -n '/^DllCharacteristics/,/^[^[:space:]]/{/^[[:space:]]/p}' <<<"$header" | tr -d '[:blank:]')"
for flag in DYNAMIC_BASE HIGH_ENTROPY_VA NX_COMPAT; do
  grep -qx "$flag" <<<"$flags" || { echo "md5digest.exe lacks $flag in DllCharacteristics"; exit 1; }
done
grep -q 'Base Relocation Directory \[\.reloc\]' <<<"$header" ||
  { echo "md5digest.exe has no relocations: its dynamic base cannot be used"; exit 1; }
echo "DYNAMIC_BASE (with .reloc), HIGH_ENTROPY_VA, NX_COMPAT"

echo "--- black-box suite against $exe"
cmake --preset release >/dev/null
cmake --build --preset release --target blackbox_tests
MD5DIGEST_BIN="$exe" MD5DIGEST_LAUNCHER="$wine" MD5DIGEST_TARGET=windows \
  limited 1800 build/release/tests/blackbox_tests </dev/null

echo "--- 100 MiB against md5sum"
head -c $((100 * 1024 * 1024)) /dev/urandom >"$scratch/big.bin"
expected="MD5 hash of file: $(md5sum <"$scratch/big.bin" | cut -c1-32 | tr a-f A-F)"
status=0
limited 300 "$wine" "$exe" "$scratch/big.bin" </dev/null >"$scratch/big.out" 2>/dev/null || status=$?
actual="$(tr -d '\r' <"$scratch/big.out" | tail -n 1)"
if [ "$status" -ne 0 ] || [ "$actual" != "$expected" ]; then
  echo "exit: $status (124 or 137: out of time)"
  echo "expected: $expected"
  echo "actual:   $actual"
  exit 1
fi
echo "$actual"
