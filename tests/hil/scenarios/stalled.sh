#@timeout 120
#@cli-reference ref.sh run clean_direct sg0=direct -- update /dev/sg0 --yes --json
#@cli-reference ref.sh run clean_paged sg0=paged -- update /dev/sg0 --yes --json
#@cli-reference ref.sh at read paged mid-readback fail-command
#@cli-reference ref.sh at write direct mid-writes fail-command
# A bridge that stops answering. The gadget withholds the data of a read
# half-way through the paged path's read-back, and the status of a serial
# flash write half-way through the direct path's writes (the write itself
# is carried out). The kernel times each command out (20 s for a read, 10 s
# for a write), aborts it and resets the device; the shipped fwupdate-cli
# then ends as the same program ends on the host when that command fails:
# the read-back fails and the update reports failure over a flash that
# holds the image; the write is retried by the procedure, which ends in
# success with the flash of a clean update. Each run ends within its
# command's timeout plus the reset and the rest of the update.
. /hil/ref.sh
result=0

# stall RUN PATH HOW TIMEOUT
stall() {
    run=$1 path=$2 how=$3 timeout=$4
    profile=vxe720; [ $path = direct ] && profile=vxe720-direct
    eval "trigger=\$${run}_trigger after=\$${run}_flash_sg0"
    export XDG_STATE_HOME=/tmp/state-$run  # each gadget is another enclosure
    say "$profile gadget: $how at $trigger"
    gadget_start --profile $profile --flash /hil/start-flash.bin --at $trigger:$how || return 1
    start=$(sed -n 's/^GADGET-FLASH start .*fnv1a64=//p' $GOUT)
    kernel=$(dmesg | wc -l)
    cli $run update $(gadget_sg) --yes --json
    r=0
    gadget_wait_at 1 || r=1
    same_as_host $run || r=1
    eval "ms=\$${run}_ms"
    check "$run ended-within-the-timeout-and-reset ($ms ms, timeout $timeout s)" \
        [ "$ms" -ge $((timeout * 1000)) -a "$ms" -lt $((timeout * 1000 + 15000)) ] || r=1
    echo "HIL-TIME $run $ms ms"
    dmesg | tail -n +$((kernel + 1)) | grep -E 'reset|abort|time' | sed "s/^/  kernel: /"
    gadget_now || r=1
    verdict "$run flash (start $start)" "$FLASH" "$after" || r=1
    udc_unbind; wait_sg_gone
    gadget_stop >/dev/null
    return $r
}

stall read paged stall-data 20 || result=1
stall write direct stall-status 10 || result=1
return $result
