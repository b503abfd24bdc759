#!/bin/bash
# Boots the rig's guest for one scenario and reports.
#
#   run-hil.sh SCENARIO [BUILD_DIR]
#
# SCENARIO is a name under tests/hil/scenarios/ or a path to a scenario file;
# BUILD_DIR holds tests/hil/bridge_gadget and tests/hil/hil_driver (default
# $HIL_BUILD, else /work/build-linux). Each boot is cut off after
# $HIL_TIMEOUT seconds, else what the scenario's "#@timeout N" line says,
# else 60. Passes when the guest says "HIL-RESULT: PASS";
# on failure the whole guest console is printed.
set -uo pipefail
here=$(dirname "$(readlink -f "$0")")
H=${HIL_DIR:-/work/hil-work}
scenario=$1
[ -f "$scenario" ] || scenario=$here/scenarios/$1.sh
build=${2:-${HIL_BUILD:-/work/build-linux}}
name=$(basename "$scenario" .sh)
out=$H/out/$name
[ -f "$scenario" ] || { echo "run-hil: no scenario $1" >&2; exit 2; }
[ -f "$H/kpkg/KV" ] || { echo "run-hil: no guest kernel in $H (run tests/hil/setup.sh)" >&2; exit 2; }
mkdir -p "$out"

"$here/mkinitramfs.sh" "$scenario" "$build" "$out" || exit 1

KV=$(cat "$H/kpkg/KV")
limit=${HIL_TIMEOUT:-$(sed -n 's/^#@timeout //p' "$scenario" | head -n 1)}
limit=${limit:-60}
# Extra qemu arguments of the scenario ("#@qemu ..." lines), e.g. a virtio disk.
extra=$(sed -n 's/^#@qemu //p' "$scenario" | tr '\n' ' ')
# TCG, one vCPU: this machine's KVM does not run stock kernels.
# shellcheck disable=SC2086
timeout --kill-after=5 "$limit" qemu-system-x86_64 -accel tcg -smp 1 -m 512 \
  -nographic -monitor none -no-reboot -net none \
  -kernel "$H/kpkg/boot/vmlinuz-$KV" -initrd "$out/initramfs.cpio.gz" \
  -append "console=ttyS0 quiet loglevel=4 panic=-1" $extra \
  </dev/null >"$out/console.log" 2>&1
rc=$?

if grep -aq '^HIL-RESULT: PASS' "$out/console.log"; then
  grep -a -E '^(HIL-CHECK|HIL-LIMIT|HIL-RUN|HIL-BENCH|HIL-TIME|GADGET-)' "$out/console.log"
  echo "run-hil: $name PASS"
  exit 0
fi
echo "---- guest console ($out/console.log)"
tr -d '\r' < "$out/console.log"
[ $rc = 124 ] && echo "run-hil: $name TIMED OUT after $limit s" || echo "run-hil: $name FAIL (qemu exit $rc)"
exit 1
