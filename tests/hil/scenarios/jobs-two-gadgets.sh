#@modules dummy_hcd:num=2
#@cli-reference ref.sh run all sg0=direct,sg1=paged -- update --all --jobs 2 --yes --json
# `update --all --jobs 2` over two gadgets on two dummy_hcd controllers, one
# on each family-10 path. Both are updated at once, each under its own
# lock: while both are held in the middle of their writes, a separate
# `update` of either device is refused without a command sent, each
# refusal naming its device's own lock. The run ends as the host's run over the same two devices
# (exit status, JSON), each gadget received exactly the commands the host's
# run sent to that device, and each flash equals its reference.
. /hil/ref.sh
result=0
sent() { grep ' cdb=' /tmp/$1.trace 2>/dev/null | grep -vc 'result=not-opened' || true; }

use_gadget 0
gadget_start --profile vxe720-direct --flash /hil/start-flash.bin --at df:fb#3:pause || return 1
use_gadget 1
gadget_start --profile vxe720 --flash /hil/start-flash.bin --at ff04:11#3:pause || return 1
use_gadget 0; dev0=$(gadget_sg)
use_gadget 1; dev1=$(gadget_sg)
say "direct gadget on $dev0, paged gadget on $dev1"

cli_start all update --all --jobs 2 --yes --json; pa=$CLI_PID ta=$CLI_T0
use_gadget 0; gadget_wait_at 30 || result=1
use_gadget 1; gadget_wait_at 30 || result=1
say "both held mid-write"
locks=
for dev in $dev0 $dev1; do
    name=other_${dev#/dev/}
    cli $name update $dev --yes --json
    eval "st=\$${name}_got"
    check "$name refused-while-the-batch-holds-it ($st, $(sent $name) commands sent)" \
        [ "$st" = 1 -a "$(sent $name)" = 0 ] || result=1
    locks="$locks $(sed -n 's/.*(lock \([^)]*\)).*/\1/p' /tmp/$name.out | head -n 1)"
done
set -- $locks
check "all each-device-under-its-own-lock ($locks)" [ $# = 2 -a "${1:-}" != "${2:-}" ] || result=1
use_gadget 0; gadget_resume
use_gadget 1; gadget_resume
CLI_NAME=all CLI_PID=$pa CLI_T0=$ta; cli_wait
same_as_host all || result=1

for slot in 0 1; do
    use_gadget $slot
    node=sg$slot
    gadget_now || result=1
    eval "want=\$all_flash_$node kinds=\$all_kinds_$node"
    verdict "all flash $node" "$FLASH" "$want" || result=1
    udc_unbind; wait_sg_gone; gadget_stop >/dev/null
    verdict "all wire $node" "$(gadget_vendor_kinds $GOUT)" "$kinds" || result=1
done
return $result
