#@cli-reference ref.sh run clean sg0=direct -- update /dev/sg0 --yes --json
#@cli-reference ref.sh at held direct after-first-erase none
# Two processes on one node. Two `update` runs started together: one is
# refused before it sends anything, the other completes as the host's run
# does. Then, while an update is held in the middle of its writes (the
# gadget pauses the status poll after its first write, a shared open of the
# node), a second update of the same device by the same path, by a link to
# the node and by its index from the device pass: each is refused without
# one command reaching the device (none in its trace but those that could
# not even open the node, and the gadget receives nothing but the first
# run's commands); the first run then completes with the flash of a clean
# update.
. /hil/ref.sh
result=0
gadget_start --profile vxe720-direct --flash /hil/start-flash.bin --at df:fb#12:pause || return 1
dev=$(gadget_sg)

# ended NAME PID T0: waits for one of several runs.
ended() { CLI_NAME=$1 CLI_PID=$2 CLI_T0=$3; cli_wait ${4:-90}; }
# Commands a run got through to a device (not those whose open failed).
sent() { grep ' cdb=' /tmp/$1.trace 2>/dev/null | grep -vc 'result=not-opened' || true; }
said() { sed -n 's/.*"error":{"message":"\([^"]*\)".*/\1/p' /tmp/$1.out | head -n 1; }

say "two runs started together"
export XDG_STATE_HOME=/tmp/state-together  # each gadget is another enclosure
cli_start one update $dev --yes --json; p1=$CLI_PID t1=$CLI_T0
cli_start two update $dev --yes --json; p2=$CLI_PID t2=$CLI_T0
ended one $p1 $t1
ended two $p2 $t2
if [ "$one_got" = 0 ]; then winner=one loser=two; else winner=two loser=one; fi
eval "loser_got=\$${loser}_got"
echo "  $loser said: $(said $loser)"
check "together one-completes-one-refused ($one_got, $two_got)" [ "$one_got$two_got" = 01 -o "$one_got$two_got" = 10 ] || result=1
check "together refused-one-sent-nothing ($(sent $loser) commands)" [ "$(sent $loser)" = 0 ] || result=1
eval "${winner}_status=\$clean_status ${winner}_json=\$clean_json ${winner}_kinds=\$clean_kinds"
same_as_host $winner || result=1
gadget_now || result=1
verdict "together flash" "$FLASH" "$clean_flash_sg0" || result=1
udc_unbind; wait_sg_gone; gadget_stop >/dev/null
verdict "together wire-carried-only-the-winner" "$(gadget_vendor_kinds $GOUT)" "$(vendor_kinds /tmp/$winner.trace)" || result=1

say "a second run while the first is held mid-write"
export XDG_STATE_HOME=/tmp/state-held
gadget_start --profile vxe720-direct --flash /hil/start-flash.bin --at $held_trigger:pause || return 1
dev=$(gadget_sg)
ln -s $dev /tmp/enclosure
cli_start held update $dev --yes --json; ph=$CLI_PID th=$CLI_T0
gadget_wait_at 20 || result=1
paused=1
for way in path link index; do
    case $way in path) target=$dev ;; link) target=/tmp/enclosure ;; index) target=0 ;; esac
    cli_start second_$way update $target --yes --json
    # A run that waits on the held device gets its commands through once the
    # first run goes on.
    i=0; while kill -0 $CLI_PID 2>/dev/null && [ $i -lt 60 ]; do sleep 0.05; i=$((i+1)); done
    if kill -0 $CLI_PID 2>/dev/null; then
        say "second_$way waits on the held device; the first run goes on"
        gadget_resume; paused=0
    fi
    cli_wait
    eval "st=\$second_${way}_got"
    echo "  second_$way said: $(said second_$way)"
    check "second_$way refused ($st)" [ "$st" != 0 -a "$st" != 137 ] || result=1
    check "second_$way sent-nothing ($(sent second_$way) commands)" [ "$(sent second_$way)" = 0 ] || result=1
done
[ $paused = 1 ] && gadget_resume
ended held $ph $th
eval "held_status=\$clean_status held_json=\$clean_json held_kinds=\$clean_kinds"
same_as_host held || result=1
gadget_now || result=1
verdict "held flash" "$FLASH" "$clean_flash_sg0" || result=1
udc_unbind; wait_sg_gone; gadget_stop >/dev/null
verdict "held wire-carried-only-the-first" "$(gadget_vendor_kinds $GOUT)" "$(vendor_kinds /tmp/held.trace)" || result=1
return $result
