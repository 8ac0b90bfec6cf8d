#!/usr/bin/env bash
# avx512-guest.sh PROGRAM [ARGS...]
#
# Runs a statically linked x86-64 Linux program on an emulated CPU with
# AVX-512 (Bochs, model Skylake-X), as the only program of a throw-away
# Linux guest, and hands back its standard output, standard error and exit
# status: for code this machine's own CPU may not run. The guest boots in
# about 20 s and runs about 250 times slower than the host.
#
# Exit status: the program's own, or
#   77  a Debian package it needs is missing (outside CI: the line to install it),
#       or, outside CI, the kernel package could not be downloaded (offline,
#       or apt's lists out of date) and AVX512_KERNEL_CACHE holds no kernel
#   124 the guest did not finish within AVX512_TIMEOUT seconds (600)
#   125 the guest could not be set up, did not boot, or its AVX-512 state is
#       not the one asked for
#
# AVX512_FILES: host files copied into the guest's working folder, ':'
# between them. AVX512_KERNEL_CACHE: a folder that keeps the kernel between
# runs (by default it is downloaded again, into a temporary folder).
# AVX512_STATE=disabled: the guest's kernel is told not to enable the
# AVX-512 register state (clearcpuid=avx512f), while the CPU still lists
# AVX-512; the program then runs only if the kernel indeed left it off.
set -euo pipefail

die() { echo "avx512-guest: $*" >&2; exit 125; }
[ $# -ge 1 ] || { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0" >&2; exit 2; }
program=$(realpath "$1")
shift
[ -f "$program" ] || die "no such file: $program"
# The guest has no shared libraries. (No pipe into grep -q: under pipefail
# readelf, cut short, would fail the pipe and pass a dynamic program.)
headers=$(readelf -lW "$program" 2>/dev/null) || die "not an ELF program: $program"
! grep -q INTERP <<<"$headers" || die "not statically linked: $program"
timeout_s=${AVX512_TIMEOUT:-600}
case ${AVX512_STATE:-enabled} in
  enabled) want_avx512=yes kernel_args="" ;;
  disabled) want_avx512=no kernel_args=" clearcpuid=avx512f" ;;
  *) die "AVX512_STATE must be enabled or disabled" ;;
esac

# bochs-term is the display that needs no screen (Debian's Bochs has no
# "nogui"); naming it keeps apt from choosing the wx one.
. "$(dirname "$0")/legs/need.sh"
need_packages bochs bochs-term bochsbios vgabios isolinux syslinux-common xorriso busybox-static cpio

work=$(mktemp -d)
bochs=""
cleanup() {
  # Bochs ignores SIGTERM.
  [ -z "$bochs" ] || { kill -KILL "$bochs" 2>/dev/null; wait "$bochs" 2>/dev/null; } || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# --- the kernel: Debian's cloud kernel, whose few drivers boot in seconds ----
# (the generic one takes minutes under emulation). Only its image is taken
# out of the package; nothing is installed, and apt's caches are not written.
cache=${AVX512_KERNEL_CACHE:-$work/kernel}
mkdir -p "$cache"
kernel=$(ls "$cache"/vmlinuz-* 2>/dev/null | head -n 1 || true)
if [ -z "$kernel" ]; then
  apt=(apt-get -q -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=)
  package=$(apt-cache -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= depends --no-recommends \
    --no-suggests linux-image-cloud-amd64 2>/dev/null | awk '/^ *Depends: linux-image-/ {print $2; exit}')
  package=${package:-linux-image-cloud-amd64}
  if ! (cd "$work" && limited 600 "${apt[@]}" download "$package") >"$work/apt.log" 2>&1; then
    cat "$work/apt.log" >&2
    # Under CI Debian's archive is reachable: a failed download is a fault.
    [ "$(id -u)" != 0 ] || [ "${CI:-}" != true ] || die "could not download the kernel package $package"
    echo "avx512-guest: skipping: the kernel package $package could not be downloaded; it needs" \
      "Debian's archive reachable and apt's lists current (sudo apt-get update), or a vmlinuz-* placed in" \
      "${AVX512_KERNEL_CACHE:-the folder AVX512_KERNEL_CACHE names}" >&2
    exit 77
  fi
  dpkg-deb --fsys-tarfile "$work"/linux-image-*.deb | tar -x -C "$work" --wildcards './boot/vmlinuz-*' ||
    die "no kernel image in the package"
  mv "$work"/boot/vmlinuz-* "$cache/"
  rm -rf "$work"/linux-image-*.deb "$work/boot"
  kernel=$(ls "$cache"/vmlinuz-* | head -n 1)
fi

# --- the initramfs: busybox runs the program, its streams and status each
# on a serial line of their own, free of the kernel's messages ---------------
quote() { printf "'%s'" "${1//\'/\'\\\'\'}"; }
root=$work/root
mkdir -p "$root"/{bin,dev,proc,files}
cp /bin/busybox "$root/bin/busybox"
cp "$program" "$root/bin/"
if [ -n "${AVX512_FILES:-}" ]; then
  IFS=: read -r -a files <<<"$AVX512_FILES"
  cp -r "${files[@]}" "$root/files/"
fi
command=$(quote "/bin/$(basename "$program")")  # by path: busybox's own applets come first
for arg in "$@"; do command+=" $(quote "$arg")"; done
cat >"$root/init" <<EOF
#!/bin/busybox sh
/bin/busybox mount -t devtmpfs dev /dev
/bin/busybox mount -t proc proc /proc
for t in ttyS1 ttyS2 ttyS3; do /bin/busybox stty -F /dev/\$t raw -echo 115200; done
if /bin/busybox grep -m1 '^flags' /proc/cpuinfo | /bin/busybox grep -q ' avx512f'; then
  avx512=yes
else
  avx512=no
fi
if [ \$avx512 = $want_avx512 ]; then
  cd /files
  $command </dev/null >/dev/ttyS1 2>/dev/ttyS2
  echo "exit=\$?" >/dev/ttyS3
else
  echo "exit=avx512\$avx512" >/dev/ttyS3
fi
/bin/busybox sync
/bin/busybox poweroff -f
EOF
chmod 755 "$root/init"
(cd "$root" && find . | LC_ALL=C sort | cpio -o -H newc -R 0:0 --quiet) >"$work/initrd"

# --- a boot CD --------------------------------------------------------------
# clearcpuid=xsaves,xsavec: Bochs 2.7 gives the standard save area's size
# for the compacted one, and the kernel, finding them inconsistent, would
# turn XSAVE off and AVX-512 with it. cryptomgr.notests and the
# trace_eval_init initcall are the two slowest steps of the boot under
# emulation, and nothing here needs them.
iso=$work/iso
mkdir -p "$iso/isolinux"
cp /usr/lib/ISOLINUX/isolinux.bin /usr/lib/syslinux/modules/bios/ldlinux.c32 "$iso/isolinux/"
cp "$kernel" "$iso/vmlinuz"
mv "$work/initrd" "$iso/initrd"
cat >"$iso/isolinux/isolinux.cfg" <<EOF
SERIAL 0 115200
DEFAULT linux
LABEL linux
  KERNEL /vmlinuz
  INITRD /initrd
  APPEND console=ttyS0,115200 quiet clearcpuid=xsaves,xsavec cryptomgr.notests initcall_blacklist=trace_eval_init nokaslr mitigations=off$kernel_args
EOF
xorriso -as mkisofs -quiet -o "$work/boot.iso" -b isolinux/isolinux.bin -c isolinux/boot.cat \
  -no-emul-boot -boot-load-size 4 -boot-info-table "$iso" >"$work/xorriso.log" 2>&1 ||
  { cat "$work/xorriso.log" >&2; die "xorriso failed"; }

# --- the machine ---------------------------------------------------------------
# Sound must be the dummy driver or Bochs stops at start-up; Debian's Bochs
# has its debugger built in, and "c" lets the machine run.
cat >"$work/bochsrc" <<EOF
display_library: term
megs: 256
romimage: file=/usr/share/bochs/BIOS-bochs-latest
vgaromimage: file=/usr/share/vgabios/vgabios.bin
cpu: model=corei7_skylake_x, count=1, ips=50000000, reset_on_triple_fault=0, ignore_bad_msrs=1
clock: sync=none, time0=local
ata0-master: type=cdrom, path=$work/boot.iso, status=inserted
boot: cdrom
com1: enabled=1, mode=file, dev=$work/console.out
com2: enabled=1, mode=file, dev=$work/stdout.out
com3: enabled=1, mode=file, dev=$work/stderr.out
com4: enabled=1, mode=file, dev=$work/status.out
mouse: enabled=0
sound: driver=dummy
speaker: enabled=0
log: $work/bochs.log
panic: action=fatal
error: action=report, cpu0=ignore
info: action=ignore
debug: action=ignore
EOF
echo c >"$work/debugger.rc"
(cd "$work" && exec env TERM=dumb bochs-bin -q -f bochsrc -rc debugger.rc </dev/null >bochs.out 2>&1) &
bochs=$!

guest_status() { sed -n 's/^exit=\([0-9a-z]*\).*/\1/p' "$work/status.out" 2>/dev/null || true; }
started=$SECONDS status=""
while kill -0 "$bochs" 2>/dev/null && [ -z "$status" ]; do
  grep -qE 'Kernel panic|Attempted to kill init' "$work/console.out" 2>/dev/null && break
  [ $((SECONDS - started)) -lt "$timeout_s" ] || { status=timeout; break; }
  sleep 0.2
  status=$(guest_status)
done
# The guest powers off after its status line: let Bochs flush the streams.
for _ in $(seq 50); do kill -0 "$bochs" 2>/dev/null || break; sleep 0.1; done
[ -n "$status" ] || status=$(guest_status)

cat "$work/stdout.out" 2>/dev/null || true
cat "$work/stderr.out" >&2 2>/dev/null || true
case $status in
  [0-9]*) exit "$status" ;;
  timeout) echo "avx512-guest: no result within ${timeout_s} s" >&2; code=124 ;;
  avx512no) echo "avx512-guest: the guest's kernel did not enable AVX-512" >&2; code=125 ;;
  avx512yes) echo "avx512-guest: the guest's kernel enabled AVX-512, though told not to" >&2; code=125 ;;
  *) echo "avx512-guest: the guest stopped before the program finished" >&2; code=125 ;;
esac
echo "--- guest console, last lines" >&2
tail -n 30 "$work/console.out" 2>/dev/null | tr -d '\r' >&2 || true
echo "--- bochs, last lines" >&2
tail -n 10 "$work/bochs.out" 2>/dev/null >&2 || true
exit "$code"
