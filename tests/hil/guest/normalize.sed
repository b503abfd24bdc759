# What may differ between a guest run and the host's reference of the same
# run without anything being wrong: the number of the sg node, the lock
# file, the state folder's location and the kept files' time-stamped names.
# Used on both sides (busybox sed in the guest, GNU sed on the host).
s#/dev/sg[0-9][0-9]*#/dev/sgN#g
s#(lock [^)]*)#(lock LOCKFILE)#g
s#[^" );,]*/vxe-fwupdate/[^" );,]*#STATEFILE#g
