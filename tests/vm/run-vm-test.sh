#!/usr/bin/env bash
# Boots the mainline kernel that fetch-kernel.sh cached under qemu, with an initramfs of
# busybox, iproute2's ip, the veth and dummy modules, the programs given with --bin and one
# payload script, and passes when the payload succeeds. The VM has no network card: every
# datagram stays between the namespaces the payload makes inside it. Exits 77 (skipped)
# when qemu, busybox or the kernel is missing, saying what to install.
#   run-vm-test.sh --cache DIR --payload SCRIPT [--bin PROGRAM]... [--timeout SECONDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache="" payload="" timeout=300 bins=()
while [ $# -gt 0 ]; do
  case $1 in
    --cache) cache=$2; shift 2 ;;
    --payload) payload=$2; shift 2 ;;
    --bin) bins+=("$2"); shift 2 ;;
    --timeout) timeout=$2; shift 2 ;;
    *) echo "run-vm-test.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -n "$cache" ] && [ -f "$payload" ] || { echo "usage: run-vm-test.sh --cache DIR --payload SCRIPT" >&2; exit 2; }

skip() { echo "SKIPPED: $*"; exit 77; }
qemu=$(command -v qemu-system-x86_64) || skip "qemu-system-x86_64 is missing: apt-get install qemu-system-x86"
busybox=$(command -v busybox || true)
[ -n "$busybox" ] && ! ldd "$busybox" >/dev/null 2>&1 || skip "a static busybox is missing: apt-get install busybox-static"
command -v cpio >/dev/null || skip "cpio is missing: apt-get install cpio"
ip=$(command -v ip) || skip "iproute2's ip is missing: apt-get install iproute2"
[ -f "$cache/kernel/vmlinuz" ] || skip "no kernel in $cache/kernel: run tests/vm/fetch-kernel.sh $cache"

work=$(mktemp -d "${TMPDIR:-/tmp}/kmfib-vm.XXXXXX")
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir -p "$root"/{bin,sbin,usr/bin,usr/sbin,lib/modules,proc,sys,dev,run,tmp}

# A program and every library ldd names for it, the loader included, at their own paths.
install_program() {
  cp "$1" "$root/$2"
  ldd "$1" | grep -o '/[^ ]*' | while read -r lib; do
    mkdir -p "$root$(dirname "$lib")"
    cp -L "$lib" "$root$lib"
  done
}
cp "$busybox" "$root/bin/busybox"
install_program "$ip" sbin/ip
for bin in "${bins[@]}"; do install_program "$bin" "bin/$(basename "$bin")"; done
cp "$cache"/kernel/modules/*.ko "$root/lib/modules/"
cp "$here/lib.sh" "$root/lib.sh"
cp "$payload" "$root/payload.sh"
cat >"$root/init" <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s
export PATH=/sbin:/bin:/usr/sbin:/usr/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
for module in /lib/modules/*.ko; do insmod "$module"; done
ip link set lo up
echo "KMFIB-VM-START $(uname -r)"
if sh /payload.sh; then echo "KMFIB-VM-RESULT pass"; else echo "KMFIB-VM-RESULT fail"; fi
poweroff -f
INIT
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd.gz"

start=$(date +%s)
set +e
timeout "$timeout" "$qemu" -accel "${KMFIB_VM_ACCEL:-tcg}" -nographic -no-reboot -nic none \
  -m 512M -smp 2 -cpu max -kernel "$cache/kernel/vmlinuz" -initrd "$work/initrd.gz" \
  -append 'console=ttyS0 panic=-1 quiet' </dev/null >"$work/console.log" 2>&1
status=$?
set -e
tr -d '\r' <"$work/console.log" | sed -n '/KMFIB-VM-START/,/KMFIB-VM-RESULT/p'
echo "vm: $(basename "$payload") on $(cat "$cache/kernel/version"), $(($(date +%s) - start)) s"
if grep -q 'KMFIB-VM-RESULT pass' <(tr -d '\r' <"$work/console.log"); then exit 0; fi
[ "$status" = 124 ] && echo "vm: timed out after $timeout s"
echo "vm: console:"
tr -d '\r' <"$work/console.log" | tail -50
exit 1
