#!/bin/bash
# One-time host setup for the real-kernel rig (Debian 12): the packages it
# runs on and Debian's own guest kernel, unpacked into the work folder
# ($HIL_DIR, default /work/hil-work). Nothing lands in the repository.
# Safe to run again: what is already there is kept.
set -euo pipefail
H=${HIL_DIR:-/work/hil-work}
mkdir -p "$H"
cd "$H"

packages=(qemu-system-x86 busybox-static sg3-utils kmod cpio)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ -f kpkg/KV ] && [ -f "kpkg/boot/vmlinuz-$(cat kpkg/KV)" ]; then
  echo "setup: guest kernel $(cat kpkg/KV) already in $H/kpkg"
  exit 0
fi

# The current bookworm kernel behind the linux-image-amd64 meta package.
KPKG=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/{print $2; exit}')
[ -n "$KPKG" ] || { echo "setup: no kernel package found (apt-get update?)" >&2; exit 1; }
mkdir -p debs
ls debs/"${KPKG}"_*.deb >/dev/null 2>&1 || (cd debs && apt-get download -q "$KPKG" >/dev/null)

rm -rf kpkg.new && mkdir kpkg.new
dpkg-deb --fsys-tarfile debs/"${KPKG}"_*.deb | tar -x -C kpkg.new --wildcards \
  './boot/vmlinuz-*' './boot/config-*' \
  './lib/modules/*/modules.builtin*' './lib/modules/*/modules.order' \
  './lib/modules/*/kernel/drivers/usb/*' './lib/modules/*/kernel/drivers/scsi/*' \
  './lib/modules/*/kernel/drivers/cdrom/*' './lib/modules/*/kernel/drivers/virtio/*' \
  './lib/modules/*/kernel/fs/configfs/*' './lib/modules/*/kernel/block/*' \
  './lib/modules/*/kernel/lib/*' './lib/modules/*/kernel/crypto/*'
KV=$(ls kpkg.new/lib/modules)
depmod -b kpkg.new "$KV"
echo "$KV" > kpkg.new/KV
rm -rf kpkg && mv kpkg.new kpkg
echo "setup: guest kernel $KV unpacked into $H/kpkg ($(du -sh kpkg | cut -f1))"
