#@modules virtio_pci virtio_scsi
#@qemu -drive file=null-co://,format=raw,if=none,id=vd0 -device virtio-scsi-pci -device scsi-hd,drive=vd0
# A virtio-scsi disk sits beside the gadget: discovery lists only the gadget.
i=0; while [ ! -e /sys/class/scsi_generic/sg0 ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i+1)); done
[ -e /sys/class/scsi_generic/sg0 ] || { say "the virtio disk did not appear"; return 1; }
say "before the gadget: $(ls /sys/class/scsi_generic | tr '\n' ' ')"
gadget_start --profile vxe720 --flash /hil/vxe720fw.bin || return 1
hil_driver basic --profile vxe720 --flash /hil/vxe720fw.bin
driver=$?
gadget_stop
return $driver
