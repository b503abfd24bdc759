# How large a single SG_IO data-in request usb-storage carries on this kernel,
# as bound and after raising the device's max_sectors.
gadget_start --profile vxe720 --flash /hil/vxe720fw.bin || return 1
hil_driver limits --profile vxe720 --flash /hil/vxe720fw.bin
driver=$?
gadget_stop
return $driver
