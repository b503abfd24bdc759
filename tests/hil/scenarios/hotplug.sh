# Pulling the gadget out and plugging it back in through its UDC: the
# product's notification source reports the removal and the arrival, and a
# refresh after each sees the device go and come back. The guest has no
# udevd, so the monitor listens to the kernel's own events.
gadget_start --profile vxe720 --flash /hil/start-flash.bin || return 1
hil_driver hotplug --udc-file "$G/UDC"
driver=$?
gadget_stop
return $driver
