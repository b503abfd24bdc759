#@timeout 90
#@qemu -icount shift=3,sleep=off
#@cli-reference ref.sh run update sg0=direct -- update /dev/sg0 --yes --json
# The product's command path against a bare open/SG_IO/close loop, through
# the real kernel, on the command blocks of a whole direct-path update (as
# the host's run of the shipped command line sent them). The guest's clock
# follows its instruction count (qemu -icount, no sleeping), so the figures
# repeat from boot to boot. A measurement, not a pass/fail on speed: it
# passes when every command of both loops was carried.
gadget_start --profile vxe720-direct --flash /hil/start-flash.bin || return 1
hil_driver bench --commands /hil/update.trace --rounds ${BENCH_ROUNDS:-10}
driver=$?
udc_unbind; wait_sg_gone
gadget_stop >/dev/null
return $driver
