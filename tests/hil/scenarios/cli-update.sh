#@cli-reference ref.sh run list_direct sg0=direct -- list --json
#@cli-reference ref.sh run info_direct sg0=direct -- info /dev/sg0 --json
#@cli-reference ref.sh run update_direct sg0=direct -- update /dev/sg0 --yes --json
#@cli-reference ref.sh run list_paged sg0=paged -- list --json
#@cli-reference ref.sh run info_paged sg0=paged -- info /dev/sg0 --json
#@cli-reference ref.sh run update_paged sg0=paged -- update /dev/sg0 --yes --json
# The shipped fwupdate-cli (release build) in the guest: list, info and
# update on both family-10 programming paths end as the same program ends
# over the simulated bus on the host for the same starting flash: exit
# status, JSON, the vendor commands it sent, the flash digest; and the
# gadget received exactly the commands the program sent.
. /hil/ref.sh
result=0
for path in direct paged; do
    profile=vxe720; [ $path = direct ] && profile=vxe720-direct
    say "shipped command line on a $profile gadget"
    export XDG_STATE_HOME=/tmp/state-$path  # each gadget is another enclosure
    gadget_start --profile $profile --flash /hil/start-flash.bin || return 1
    dev=$(gadget_sg)
    cli list_$path list --json
    cli info_$path info $dev --json
    cli update_$path update $dev --yes --json
    for run in list info update; do same_as_host ${run}_$path || result=1; done
    udc_unbind; wait_sg_gone
    gadget_stop
    eval "want=\$update_${path}_flash_sg0"
    verdict "flash ($path): start $(sed -n 's/^GADGET-FLASH start .*fnv1a64=//p' $GOUT), after" \
        "$(sed -n 's/^GADGET-FLASH stop .*fnv1a64=//p' $GOUT)" "$want" || result=1
    verdict "wire-carried-what-was-sent ($path)" "$(gadget_vendor_kinds $GOUT)" \
        "$(vendor_kinds /tmp/list_$path.trace /tmp/info_$path.trace /tmp/update_$path.trace)" || result=1
done
return $result
