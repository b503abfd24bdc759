# The vendor commands of a run by kind, in one form on both sides:
# "df:fa=25 df:fb=9 e0=1 ff04:12=36", sorted, the kinds as the gadget names
# them (gadget_profile.h). POSIX sh: sourced by the guest's init (busybox)
# and by the host's cli-reference.sh.

# vendor_kinds TRACE...: from the command line's --trace files.
vendor_kinds() {
    cat "$@" 2>/dev/null | sed -n 's/.* cdb=\([0-9A-Fa-f]*\) .*/\1/p' | awk '{
        h = tolower($0)
        if (substr(h, 1, 4) == "ff04") print "ff04:" substr(h, 5, 2)
        else if (substr(h, 1, 2) == "df") print "df:" substr(h, 23, 2)
        else print substr(h, 1, 2)
    }' | kinds_line
}

# gadget_vendor_kinds OUT: from the GADGET-KINDS line the gadget printed
# when it stopped.
gadget_vendor_kinds() {
    sed -n 's/^GADGET-KINDS //p' "$1" | tr ' ' '\n' | awk -F= '{ for (i = 0; i < $2; ++i) print $1 }' | kinds_line
}

kinds_line() {
    grep -E '^(df|ff04|e0)' | LC_ALL=C sort | uniq -c | awk '{ printf "%s%s=%s", (NR > 1 ? " " : ""), $2, $1 }'
}
