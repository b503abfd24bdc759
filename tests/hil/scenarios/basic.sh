# The gadget is found by the product's enumeration as a usb-storage disk;
# INQUIRY, the 0xE0 chip information request, a rejected opcode, a data-out
# command and a flash read travel through LinuxPlatform and the real kernel.
gadget_start --profile vxe720 --flash /hil/vxe720fw.bin || return 1
hil_driver basic --profile vxe720 --flash /hil/vxe720fw.bin
driver=$?
gadget_stop
flash_unchanged && echo "HIL-CHECK flash-unchanged: PASS" || { echo "HIL-CHECK flash-unchanged: FAIL"; driver=1; }
gadget_log_tail 8
return $driver
