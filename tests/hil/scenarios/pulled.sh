#@cli-reference ref.sh run clean_direct sg0=direct -- update /dev/sg0 --yes --json
#@cli-reference ref.sh run clean_paged sg0=paged -- update /dev/sg0 --yes --json
#@cli-reference ref.sh at direct_1 direct first-erase pulled
#@cli-reference ref.sh at direct_2 direct mid-writes pulled
#@cli-reference ref.sh at direct_3 direct mid-readback pulled
#@cli-reference ref.sh at paged_1 paged first-erase pulled
#@cli-reference ref.sh at paged_2 paged mid-writes pulled
#@cli-reference ref.sh at paged_3 paged mid-readback pulled
# An enclosure pulled out mid-update, on both family-10 paths: the gadget
# leaves the bus on its own (unbinds its UDC) when the update's first erase,
# a write half-way through or a read half-way through the read-back
# arrives. The shipped fwupdate-cli ends at once with a failure, as the same
# program ends on the host when that command fails and the simulated device
# is gone from the next one on (exit status, JSON, flash), and names the
# kept file. (Whether the commands right after the pull still find the
# node, which the kernel removes a moment later, is a race: the wording of
# the failure is shown, not compared.) The gadget
# keeps its flash and comes back; a plain `update` then either recovers on
# its own or writes nothing and says so, after which `update --header-from`
# the kept file does; either way the flash ends as a clean update of the
# original flash.
. /hil/ref.sh
result=0

# kept_file RUN: the kept file the run named in its JSON.
kept_file() { sed -n 's/.*"oldHeaderFile":"\([^"]*\)".*/\1/p' /tmp/$1.out | head -n 1; }

# pull_and_recover PATH POINT
pull_and_recover() {
    path=$1 point=$2 run=${1}_$2
    profile=vxe720; [ $path = direct ] && profile=vxe720-direct
    eval "trigger=\$${run}_trigger clean=\$clean_${path}_flash_sg0 after=\$${run}_flash_sg0"
    export XDG_STATE_HOME=/tmp/state-$run
    say "$profile gadget pulled at $trigger"
    gadget_start --profile $profile --flash /hil/start-flash.bin --at $trigger:pull || return 1
    start=$(sed -n 's/^GADGET-FLASH start .*fnv1a64=//p' $GOUT)
    cli $run update $(gadget_sg) --yes --json
    r=0
    gadget_wait_at 1 || r=1
    same_outcome_as_host $run || r=1
    eval "ms=\$${run}_ms"
    check "$run ended-within-a-command-timeout (${ms} ms)" [ "$ms" -lt 10000 ] || r=1
    kept=$(kept_file $run)
    check "$run kept-file-named-and-there ($kept)" [ -s "$kept" ] || r=1
    wait_sg_gone || r=1
    gadget_now || r=1
    verdict "$run flash-after-pull (start $start)" "$FLASH" "$after" || r=1

    say "the gadget comes back"
    udc_bind && wait_sg || return 1
    dev=$(gadget_sg)
    writes=$WRITES before=$FLASH
    cli ${run}_plain update $dev --yes --json
    gadget_now || r=1
    eval "st=\$${run}_plain_got"
    if [ "$st" != 0 ] && [ "$st" != 4 ]; then
        check "${run}_plain wrote-nothing-when-refusing (exit $st)" [ "$WRITES" = "$writes" -a "$FLASH" = "$before" ] || r=1
        cli ${run}_recovery update $dev --header-from "$kept" --yes --json
        gadget_now || r=1
        eval "st=\$${run}_recovery_got"
    fi
    check "$run recovery-exit-status ($st)" [ "$st" = 0 -o "$st" = 4 ] || r=1
    verdict "$run flash-after-recovery (start $start)" "$FLASH" "$clean" || r=1
    udc_unbind; wait_sg_gone
    gadget_stop >/dev/null
    return $r
}

for path in direct paged; do
    for point in 1 2 3; do pull_and_recover $path $point || result=1; done
done
return $result
