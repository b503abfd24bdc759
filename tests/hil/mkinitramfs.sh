#!/bin/bash
# Packs the guest for one scenario: busybox, the kernel modules it needs (with
# their dependencies, in load order), the gadget, the test driver and the
# shipped fwupdate-cli with the shared libraries they use, the firmware
# image, the references computed on the host and the scenario itself.
#
#   mkinitramfs.sh SCENARIO.sh BUILD_DIR OUT_DIR     -> OUT_DIR/initramfs.cpio.gz
#
# A scenario may name module parameters on "#@modules name:arg=value,..." lines
# and host-side references on "#@reference FILE ARGS..." lines (hil_reference)
# and "#@cli-reference FILE ARGS..." lines (cli-reference.sh).
set -euo pipefail
scenario=$1 build=$2 out=$3
here=$(dirname "$(readlink -f "$0")")
repo=$(readlink -f "$here/../..")
H=${HIL_DIR:-/work/hil-work}
KV=$(cat "$H/kpkg/KV")
M=$H/kpkg/lib/modules/$KV

R=$out/root
rm -rf "$R"
mkdir -p "$R"/{bin,dev,proc,sys,tmp,hil,lib/modules}
cp /bin/busybox "$R/bin/busybox"
for program in tests/hil/bridge_gadget tests/hil/hil_driver cli/fwupdate-cli; do
  bin=$build/$program
  [ -x "$bin" ] || { echo "mkinitramfs: $bin is not built" >&2; exit 1; }
  cp "$bin" "$R/bin/"
  for lib in $(ldd "$bin" | grep -o '/[^ ]*'); do
    mkdir -p "$R$(dirname "$lib")"
    cp -L "$lib" "$R$lib"
  done
done
cp "$here/guest/init" "$R/init"
cp "$scenario" "$R/scenario.sh"
basename "$scenario" .sh > "$R/scenario.name"
cp "$repo/resources/vxe720fw.bin" "$R/hil/vxe720fw.bin"
cp "$here/guest/normalize.sed" "$here/guest/kinds.sh" "$R/hil/"

# Host-side references: the enclosure's starting flash, and for every
# "#@reference FILE ARGS..." line what the same product sequence comes to on
# the simulated bus (hil_reference ARGS, run in the guest's /hil).
reference=$build/tests/hil/hil_reference
[ -x "$reference" ] || { echo "mkinitramfs: $reference is not built" >&2; exit 1; }
"$reference" start-flash "$R/hil/start-flash.bin"
while read -r file refargs; do
  # shellcheck disable=SC2086
  (cd "$R/hil" && "$reference" $refargs > "$file") || { echo "mkinitramfs: hil_reference $refargs failed" >&2; exit 1; }
done < <(sed -n 's/^#@reference //p' "$scenario")
# What the shipped command line does over the simulated bus, the same way.
while read -r file refargs; do
  # shellcheck disable=SC2086
  (cd "$R/hil" && FWUPDATE_CLI=$build/cli/fwupdate-cli BRIDGE_GADGET=$build/tests/hil/bridge_gadget \
    "$here/cli-reference.sh" $refargs >> "$file") || { echo "mkinitramfs: cli-reference.sh $refargs failed" >&2; exit 1; }
done < <(sed -n 's/^#@cli-reference //p' "$scenario")

# Modules "name:arg=value,..." in wanted order; a scenario's lines override.
declare -A args=([usb-storage]="delay_use=0")
order=(usb-storage dummy_hcd usb_f_fs sg sd_mod sr_mod)
while read -r line; do
  for w in ${line#\#@modules}; do
    name=${w%%:*}; [[ $w == *:* ]] && args[$name]=${w#*:}
    [[ " ${order[*]} " == *" $name "* ]] || order+=("$name")
  done
done < <(grep '^#@modules' "$scenario" || true)

declare -A seen
: > "$R/modules.load"
add() {
  local path=$1 a=${2:-}
  [ -n "${seen[$path]:-}" ] && return
  seen[$path]=1
  cp "$M/$path" "$R/lib/modules/"
  echo "$(basename "$path") ${a//,/ }" >> "$R/modules.load"
}
for name in "${order[@]}"; do
  line=$(grep -E "/${name}\.ko(\.xz)?:" "$M/modules.dep") || { echo "mkinitramfs: no module $name" >&2; exit 1; }
  mod=${line%%:*}
  for dep in $(echo "${line#*:}" | tr ' ' '\n' | tac); do add "$dep"; done
  add "$mod" "${args[$name]:-}"
done

(cd "$R" && find . | cpio -o -H newc --quiet | gzip -1 > "$out/initramfs.cpio.gz")
