#@modules dummy_hcd:is_super_speed=1
# The same limits with dummy_hcd emulating a SuperSpeed controller.
gadget_start --profile vxe720 --flash /hil/vxe720fw.bin || return 1
hil_driver limits --profile vxe720 --flash /hil/vxe720fw.bin
driver=$?
gadget_stop
return $driver
