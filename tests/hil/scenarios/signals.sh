#@cli-reference ref.sh run clean sg0=direct -- update /dev/sg0 --yes --json
#@cli-reference ref.sh at first_write direct first-erase none
# Signals and a closed output pipe in the middle of the writes, through the
# shipped fwupdate-cli on the direct path (serial flash writes).
#
# SIGTERM while a write is on the wire (the gadget holds it, so the program
# is inside the kernel's SG_IO): the update completes, the flash is that of
# a clean update, every command went over the wire exactly once (what the
# gadget received is what the program's trace says it sent, and that is
# what the host's run sends), and the program exits 143 with exactly one
# JSON object that says so.
#
# `update | head -n 1`: head leaves after the first line (the kept file,
# named before the first erase); and `update --trace /dev/stdout | head`
# with head leaving a few writes into the flash. Either way the update
# completes and is verified (the same commands, the clean flash), and the
# exit status is that of a finished update (0) or of the closed pipe (141).
. /hil/ref.sh
result=0
said() { sed -n 's/.*"error":{"message":"\([^"]*\)".*/\1/p' /tmp/$1.out | head -n 1; }
# completed RUN [TRACE]: the flash of a clean update, and the wire carried
# each command of the host's run exactly once (and the run's own trace, when
# it has one, says it sent them).
completed() {
    local r=0
    gadget_now || r=1
    verdict "$1 flash" "$FLASH" "$clean_flash_sg0" || r=1
    udc_unbind; wait_sg_gone; gadget_stop >/dev/null
    verdict "$1 wire-carried-each-command-once" "$(gadget_vendor_kinds $GOUT)" "$clean_kinds" || r=1
    [ -z "${2:-}" ] || verdict "$1 commands-sent" "$(vendor_kinds $2)" "$clean_kinds" || r=1
    return $r
}

say "SIGTERM while a serial flash write is on the wire"
export XDG_STATE_HOME=/tmp/state-term  # each gadget is another enclosure
gadget_start --profile vxe720-direct --flash /hil/start-flash.bin --at df:fb#3:pause || return 1
cli_start term update $(gadget_sg) --yes --json
gadget_wait_at 20 || result=1
kill -TERM $CLI_PID
sleep 0.3
gadget_resume
cli_wait
check "term exit-status-143 ($term_got)" [ "$term_got" = 143 ] || result=1
check "term one-json-object ($(wc -l < /tmp/term.out) lines)" [ "$(wc -l < /tmp/term.out)" = 1 ] || result=1
check "term reports-the-update-and-the-signal" \
    grep -q '"state":"updated".*"success":true.*"status":143' /tmp/term.out || result=1
echo "  term said: $(said term)"
completed term /tmp/term.trace || result=1

# piped NAME HEAD-LINES ARGS...: fwupdate-cli ARGS | head -n HEAD-LINES,
# bounded; the program's exit status in /tmp/NAME.status.
piped() {
    local name=$1 lines=$2 i status; shift 2
    say "fwupdate-cli $* | head -n $lines ($name)"
    ( /bin/fwupdate-cli "$@" 2>/tmp/$name.err; echo $? > /tmp/$name.status ) | head -n $lines > /tmp/$name.head &
    i=0; while [ ! -s /tmp/$name.status ] && [ $i -lt 1200 ]; do sleep 0.05; i=$((i+1)); done
    status=$(cat /tmp/$name.status 2>/dev/null)
    say "fwupdate-cli ($name) ended with ${status:-nothing (hangs)}; head read: $(head -c 120 /tmp/$name.head | tr '\n' '|')"
    sed "s/^/  $name stderr: /" /tmp/$name.err | head -n 3
    check "$name exit-status-finished-or-closed-pipe (${status:-none})" [ "$status" = 0 -o "$status" = 141 ]
}

export XDG_STATE_HOME=/tmp/state-pipe_text
gadget_start --profile vxe720-direct --flash /hil/start-flash.bin || return 1
piped pipe_text 1 update $(gadget_sg) --yes --trace /tmp/pipe_text.trace || result=1
completed pipe_text /tmp/pipe_text.trace || result=1

export XDG_STATE_HOME=/tmp/state-pipe_trace
gadget_start --profile vxe720-direct --flash /hil/start-flash.bin || return 1
# The trace goes to the pipe too; head leaves four writes into the flash.
piped pipe_trace $((first_write_n + 8)) update $(gadget_sg) --yes --trace /dev/stdout || result=1
completed pipe_trace || result=1
return $result
