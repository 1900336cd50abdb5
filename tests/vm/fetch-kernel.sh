#!/usr/bin/env bash
# Puts the newest Debian 6.1 cloud kernel that apt knows of into CACHE/kernel (vmlinuz, and
# the modules the tests load) for the vm tests. Run once per build tree; a kernel already
# there is kept. Needs apt-get (a working package list) and dpkg-deb.
#   tests/vm/fetch-kernel.sh build/dev/vm
set -euo pipefail
cache=${1:?usage: fetch-kernel.sh CACHE}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
if [ -f "$cache/kernel/vmlinuz" ]; then
  echo "kernel already in $cache/kernel ($(cat "$cache/kernel/version"))"
  exit 0
fi
package=$(apt-cache search --names-only '^linux-image-6\.1\.0-[0-9]+-cloud-amd64$' |
  awk '{print $1}' | sort -V | tail -1)
if [ -z "$package" ]; then
  echo "apt-cache lists no linux-image-6.1.0-N-cloud-amd64: run apt-get update" >&2
  exit 1
fi
rm -rf "$cache/debs" "$cache/kernel.new"
mkdir -p "$cache/debs" "$cache/kernel.new/root"
(cd "$cache/debs" && apt-get download -q "$package" >/dev/null)
dpkg-deb -x "$cache"/debs/"$package"_*.deb "$cache/kernel.new/root"
version=${package#linux-image-}
cp "$cache/kernel.new/root/boot/vmlinuz-$version" "$cache/kernel.new/vmlinuz"
mkdir -p "$cache/kernel.new/modules"
for module in veth dummy; do
  file=$(find "$cache/kernel.new/root/lib/modules/$version" -name "$module.ko*" | head -1)
  case $file in
    *.ko) cp "$file" "$cache/kernel.new/modules/$module.ko" ;;
    *.ko.xz) xz -dc "$file" >"$cache/kernel.new/modules/$module.ko" ;;
    *.ko.zst) zstd -qdc "$file" >"$cache/kernel.new/modules/$module.ko" ;;
    *) echo "no $module module in $package" >&2; exit 1 ;;
  esac
done
echo "$package" >"$cache/kernel.new/version"
rm -rf "$cache/kernel.new/root" "$cache/kernel"
mv "$cache/kernel.new" "$cache/kernel"
echo "kernel $package in $cache/kernel"
