#@modules virtio_pci virtio_scsi
#@qemu -drive file=null-co://,format=raw,if=none,id=vd0 -device virtio-scsi-pci -device scsi-hd,drive=vd0
#@reference ref-direct.txt oneclick --profile vxe720-direct --flash start-flash.bin
#@reference ref-paged.txt oneclick --profile vxe720 --flash start-flash.bin
#@reference ref-plain.txt oneclick --profile plain
# The product's refresh and YES through the real kernel, with a virtio-scsi
# disk beside the gadget: the one-click family-10 update on both programming
# paths ends with the flash the simulated run on the host ends with, and a
# plain USB disk is identified and never written to.
i=0; while [ ! -e /sys/class/scsi_generic/sg0 ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i+1)); done
[ -e /sys/class/scsi_generic/sg0 ] || { say "the virtio disk did not appear"; return 1; }
say "before the gadget: $(ls /sys/class/scsi_generic | tr '\n' ' ')"

# run_product PROFILE REFERENCE FAMILY [GADGET ARGS...]
run_product() {
    profile=$1 ref=/hil/$2 family=$3; shift 3
    say "one-click on a $profile gadget"
    gadget_start --profile "$profile" "$@" || return 1
    hil_driver product --reference "$ref" --expect-family "$family"
    rc=$?
    udc_unbind; wait_sg_gone
    gadget_stop
    expected=$(sed -n 's/.* flash=//p' "$ref")
    got=$(sed -n 's/^GADGET-FLASH stop .*fnv1a64=//p' /tmp/gadget.out)
    if [ -n "$expected" ] && [ "$expected" = "$got" ]; then
        echo "HIL-CHECK flash-as-simulated ($profile): PASS $got"
    else
        echo "HIL-CHECK flash-as-simulated ($profile): FAIL gadget $got, host $expected"; rc=1
    fi
    return $rc
}

result=0
run_product vxe720-direct ref-direct.txt 10 --flash /hil/start-flash.bin || result=1
run_product vxe720 ref-paged.txt 10 --flash /hil/start-flash.bin || result=1
run_product plain ref-plain.txt 14 || result=1
writes=$(sed -n 's/^GADGET-WRITES //p' /tmp/gadget.out)
[ "$writes" = 0 ] && echo "HIL-CHECK plain-disk-no-write: PASS" || { echo "HIL-CHECK plain-disk-no-write: FAIL $writes writes"; result=1; }
return $result
