#@modules dummy_hcd:num=2
#@cli-reference ref.sh at taken direct-mxic after-first-erase given-away-after
#@cli-reference ref.sh at asked direct after-question given-away-after
#@cli-reference ref.sh at cutoff direct mid-writes pulled
#@cli-reference ref.sh run other sg0=direct:vxe720fw.bin -- update /dev/sg0 --yes --json
# A node taken over: two gadgets on two dummy_hcd controllers. The first is
# pulled mid-update and the second arrives and is given the freed /dev/sgN.
#
# Mid-update: the first gadget has an MXIC flash, for which the update
# writes the first 4 KB once and then lets them settle for half a second;
# in that pause (the program holds no descriptor of the node, so its number
# is freed as soon as the first gadget is gone) the program is stopped, the
# first gadget leaves the bus, the second takes the node, and the program
# goes on. It must end as the host's run ends when the node changes hands
# at that command (exit status, JSON, commands), say that the device
# changed, and not one write may reach the second gadget: its flash digest
# stays as it was.
#
# The same with the second gadget plugged into the port the first one left
# (one cable, two enclosures): the node's sysfs path is the same for both.
#
# At the question: `update` without --yes asks before writing; while it
# waits for the answer the first gadget is pulled and the second takes the
# node; then the answer is y. Not one write may reach the second gadget
# and the program says that the device changed.
#
# After a cut-off update: the first gadget is pulled in the middle of its
# writes (its kept old flash stays marked unfinished), and another
# enclosure, whose flash holds the current firmware under a configuration
# header of its own, is plugged into the same port. A plain update of it
# must end as on the host for that enclosure alone (already current,
# nothing written): the first enclosure's kept configuration must not be
# written into it.
. /hil/ref.sh
result=0

owner() { readlink -f /sys/class/scsi_generic/${1#/dev/}/device | sed 's#/sys/devices/platform/##'; }
changed_wording=$(echo "$taken_json" | head -n 1 | sed -n 's/.*"error":{"message":"\([^"]*\)".*/\1/p')

# The second gadget: not plugged in yet.
second_ready() {
    use_gadget 1
    gadget_serve --profile vxe720 --flash /hil/start-flash.bin || return 1
    use_gadget 0
}
# take_over DEV [UDC]: the first gadget leaves, the second arrives on DEV
# (through the UDC of slot 1, or the N-th).
take_over() {
    local got
    use_gadget 0; udc_unbind; wait_sg_gone || return 1
    use_gadget 1; udc_bind $2; wait_sg || return 1
    got=$(gadget_sg)
    say "$got is now $(owner $got)"
    verdict "second-gadget-got-the-freed-node" "$got" "$1"
}
# second_untouched RUN: no write reached the second gadget.
second_untouched() {
    local start r
    use_gadget 1
    start=$(sed -n 's/^GADGET-FLASH start .*fnv1a64=//p' $GOUT)
    gadget_now || return 1
    r=0
    verdict "$1 second-gadget-flash-unchanged" "$FLASH" "$start" || r=1
    verdict "$1 second-gadget-vendor-writes" "$WRITES" 0 || r=1
    return $r
}
# says_changed RUN
says_changed() {
    verdict "$1 says-the-device-changed" \
        "$(sed -n 's/.*"error":{"message":"\([^"]*\)".*/\1/p' /tmp/$1.out | head -n 1 | sed 's#/dev/sg[0-9]*#/dev/sgN#g')" \
        "$changed_wording"
}
both_stop() {
    use_gadget 1; udc_unbind; wait_sg_gone; gadget_stop >/dev/null
    use_gadget 0; gadget_stop >/dev/null
}

# mid_update RUN UDC: the first gadget pulled in the settle pause, the
# second plugged in through UDC.
mid_update() {
    run=$1
    export XDG_STATE_HOME=/tmp/state-$run  # each pair of gadgets, other enclosures
    say "$run: the first gadget pauses at $taken_before"
    second_ready || return 1
    gadget_start --profile vxe720-direct-mxic --flash /hil/start-flash.bin --at $taken_before:pause || return 1
    dev=$(gadget_sg)
    say "$dev is $(owner $dev)"
    cli_start $run update $dev --yes --json
    r=0
    gadget_wait_at 20 || r=1
    gadget_resume
    # Stopped in the settle pause, not inside a command.
    i=0; while [ $i -lt 100 ] && ! grep -qE '^(35|230) ' /proc/$CLI_PID/syscall 2>/dev/null; do sleep 0.01; i=$((i+1)); done
    kill -STOP $CLI_PID
    check "$run stopped-in-the-pause ($(cut -d' ' -f1 /proc/$CLI_PID/syscall))" grep -qE '^(35|230) ' /proc/$CLI_PID/syscall || r=1
    check "$run holds-no-descriptor-of-the-node" [ -z "$(ls -l /proc/$CLI_PID/fd | grep /dev/sg)" ] || r=1
    take_over $dev $2 || r=1
    kill -CONT $CLI_PID
    cli_wait
    eval "${run}_status=\$taken_status ${run}_json=\$taken_json ${run}_kinds=\$taken_kinds"
    same_as_host $run || r=1
    says_changed $run || r=1
    second_untouched $run || r=1
    use_gadget 0; gadget_now || r=1
    verdict "$run first-gadget-flash" "$FLASH" "$taken_flash_sg0" || r=1
    both_stop
    return $r
}

mid_update taken 1 || result=1
mid_update taken_same_port 0 || result=1

say "at the question"
export XDG_STATE_HOME=/tmp/state-asked
second_ready || return 1
gadget_start --profile vxe720-direct --flash /hil/start-flash.bin || return 1
dev=$(gadget_sg)
mkfifo /tmp/answer; exec 3<>/tmp/answer
CLI_INPUT=3 cli_start asked update $dev --json
i=0; while [ $i -lt 200 ] && ! grep -q 'y/N' /tmp/asked.err; do sleep 0.05; i=$((i+1)); done
check "asked asks ($(cat /tmp/asked.err))" grep -q 'y/N' /tmp/asked.err || result=1
take_over $dev || result=1
echo y >&3
cli_wait
exec 3>&-
check "asked exit-status-is-a-failure ($asked_got)" [ "$asked_got" != 0 ] || result=1
says_changed asked || result=1
second_untouched asked || result=1
both_stop

say "another enclosure on the port of a cut-off update"
export XDG_STATE_HOME=/tmp/state-cutoff
use_gadget 1
gadget_serve --profile vxe720-direct --flash /hil/vxe720fw.bin || return 1
use_gadget 0
gadget_start --profile vxe720-direct --flash /hil/start-flash.bin --at $cutoff_trigger:pull || return 1
cli cutoff update $(gadget_sg) --yes --json
wait_sg_gone || result=1
check "cutoff left-its-update-unfinished ($cutoff_got)" [ "$cutoff_got" = 1 ] || result=1
use_gadget 1; udc_bind 0; wait_sg || return 1
dev=$(gadget_sg)
say "$dev is now $(owner $dev)"
cli other update $dev --yes --json
same_as_host other || result=1
gadget_now || result=1
verdict "other flash-of-its-own-clean-update" "$FLASH" "$other_flash_sg0" || result=1
udc_unbind; wait_sg_gone; gadget_stop >/dev/null
use_gadget 0; gadget_stop >/dev/null
return $result
