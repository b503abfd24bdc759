#!/bin/bash
# The host's half of the command-line scenarios: what the shipped
# fwupdate-cli does over the simulated bus for the same starting flash as the
# guest's gadget, printed as shell assignments the guest sources.
#
#   cli-reference.sh run NAME DEVICES [FAULT...] -- CLI-ARGS...
#       DEVICES: sg0=direct[,sg1=paged...] (direct: the serial flash writes;
#       direct-mxic: the same on an MXIC flash; paged: the FF 04 programs),
#       each with its starting flash after a colon (default start-flash.bin);
#       FAULT: sgN:KEY=VALUE, a line of the device's description
#       (docs/simulated-devices.md). $ANSWER, when set, is the program's
#       standard input (the answer to its question).
#       Prints NAME_status, NAME_json (normalised, guest/normalize.sed),
#       NAME_flash_sgN (the flash digest afterwards), NAME_kinds (the
#       vendor commands sent, by kind) and NAME_kinds_sgN (those sent to
#       each device); the run's trace is kept as NAME.trace.
#   cli-reference.sh at NAME PROFILE POINT FAULT
#       POINT: first-erase, mid-writes, mid-readback or after-first-erase
#       (the command that follows it) of a clean `update /dev/sg0 --yes
#       --json` on one device of PROFILE, or after-question: the first
#       command after the program's question, answered y on standard input.
#       Prints NAME_trigger (KIND#N, the gadget's way to name that command),
#       NAME_before (the same for the command before it) and NAME_n (the
#       command's number), then what `run` prints for that update with FAULT
#       at that command: none, fail-command, given-away-after, or
#       pulled (the command fails in transport and the device is gone from
#       the next one on, as when the cable is pulled while it is under way).
#
# Needs FWUPDATE_CLI and BRIDGE_GADGET (for the digests); the starting flash
# is start-flash.bin in the current folder.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
: "${FWUPDATE_CLI:?}" "${BRIDGE_GADGET:?}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# shellcheck source=guest/kinds.sh
. "$here/guest/kinds.sh"

quote() { printf "'%s'" "${1//\'/\'\\\'\'}"; }

kind_of() {  # the gadget's name for a command block (gadget_profile.h)
    local h=${1,,}
    if [ "${h:0:4}" = ff04 ]; then echo "ff04:${h:4:2}"
    elif [ "${h:0:2}" = df ]; then echo "df:${h:22:2}"
    else echo "${h:0:2}"; fi
}

# bus DIR DEVICES FAULTS...: one description file per device.
make_bus() {
    local dir=$1 devices=$2; shift 2
    mkdir -p "$dir"
    local entry node path flash
    for entry in ${devices//,/ }; do
        node=${entry%%=*} path=${entry#*=} flash=start-flash.bin
        [[ $path == *:* ]] && flash=${path#*:} path=${path%%:*}
        cp "$flash" "$dir/$node.bin"
        # A shorter image fills the start of an otherwise erased flash, as
        # the gadget loads it.
        local size; size=$(stat -c %s "$flash")
        [ "$size" -lt 65536 ] && head -c $(( 65536 - size )) /dev/zero | tr '\0' '\377' >> "$dir/$node.bin"
        {
            echo "profile = vxe720-enclosure"
            echo "path = /dev/$node"
            echo "flash-file = $node.bin"
            case $path in direct*) echo "memory-505e-direct = yes" ;; esac
            [ "$path" = direct-mxic ] && echo "flash-vendor = 5"
            local fault
            for fault in "$@"; do
                [ "${fault%%:*}" = "$node" ] && echo "${fault#*:}" | sed 's/=/ = /'
            done
        } > "$dir/$node.device"
    done
}

# run NAME DEVICES [FAULT...] -- ARGS...
run() {
    local name=$1 devices=$2; shift 2
    local faults=()
    while [ "$1" != -- ]; do faults+=("$1"); shift; done
    shift
    local dir=$work/$name
    make_bus "$dir" "$devices" "${faults[@]}"
    local status=0
    printf '%s\n' "${ANSWER-}" | XDG_STATE_HOME=$dir/state "$FWUPDATE_CLI" "$@" --bus "$dir" \
        --trace "$dir/trace" > "$dir/out" 2> "$dir/err" || status=$?
    [ -f "$dir/trace" ] && cp "$dir/trace" "$name.trace"
    echo "${name}_status=$status"
    echo "${name}_json=$(quote "$(sed -f "$here/guest/normalize.sed" "$dir/out")")"
    local entry node
    for entry in ${devices//,/ }; do
        node=${entry%%=*}
        echo "${name}_flash_$node=$("$BRIDGE_GADGET" --digest "$dir/$node.bin")"
        echo "${name}_kinds_$node=$(quote "$(grep -s " path=/dev/$node\$" "$dir/trace" | vendor_kinds)")"
    done
    echo "${name}_kinds=$(quote "$(vendor_kinds "$dir/trace")")"
}


# at NAME PROFILE POINT FAULT
at() {
    local name=$1 profile=$2 point=$3 fault=$4
    local dir=$work/$name-clean yes=--yes
    make_bus "$dir" "sg0=$profile"
    XDG_STATE_HOME=$dir/state "$FWUPDATE_CLI" update /dev/sg0 --yes --json --bus "$dir" --trace "$dir/trace" \
        >/dev/null 2>&1
    if [ "$point" = after-question ]; then  # the commands before the question
        rm "$dir/trace"
        echo n | XDG_STATE_HOME=$dir/state "$FWUPDATE_CLI" update /dev/sg0 --json --bus "$dir" \
            --trace "$dir/trace" >/dev/null 2>&1 || true
    fi
    # Number, kind and occurrence of every command, and where the flash
    # changes (erases and programs), is programmed and is read.
    local seq cdb kind n=0 rows=()
    declare -A seen=()
    while read -r seq cdb; do
        kind=$(kind_of "$cdb")
        seen[$kind]=$(( ${seen[$kind]:-0} + 1 ))
        rows+=("$seq $kind ${seen[$kind]}")
    done < <(sed -n 's/^\([0-9]*\) .* cdb=\([0-9A-Fa-f]*\) .*/\1 \2/p' "$dir/trace")
    local changes=() programs=() reads=() row
    for row in "${rows[@]}"; do
        set -- $row
        case $2 in
            df:fb|ff04:01|ff04:02|ff04:04|ff04:11|ff04:13|ff04:14) changes+=("$row") ;;
        esac
        case $2 in df:fb|ff04:02|ff04:11) programs+=("$row") ;; esac
        case $2 in df:fa|ff04:10) reads+=("$row") ;;
        esac
    done
    local last=0 readback=()
    [ ${#changes[@]} -gt 0 ] && last=${changes[-1]%% *}
    for row in "${reads[@]}"; do [ "${row%% *}" -gt "$last" ] && readback+=("$row"); done
    local at
    case $point in
        first-erase) row=${changes[0]} ;;
        mid-writes) row=${programs[$(( ${#programs[@]} / 2 ))]} ;;
        mid-readback) row=${readback[$(( ${#readback[@]} / 2 ))]} ;;
        after-first-erase) row=${rows[${changes[0]%% *}]} ;;  # rows[i] is command i + 1
        after-question) row="$(( ${#rows[@]} + 1 )) - -"; yes= ;;
        *) echo "cli-reference: no point $point" >&2; exit 2 ;;
    esac
    for at in "${!rows[@]}"; do [ "${rows[$at]%% *}" = "${row%% *}" ] && break; done
    set -- ${rows[$((at - 1))]:-0 - -}
    echo "${name}_before=$2#$3"
    set -- $row
    echo "${name}_trigger=$2#$3"
    local n=$(( $1 - 1 )) faults=()
    echo "${name}_n=$n"
    case $fault in
        pulled) faults=("sg0:fail-command=$n" "sg0:vanish-from=$(( n + 1 ))") ;;
        none) ;;
        *) faults=("sg0:$fault=$n") ;;
    esac
    [ -z "$yes" ] && export ANSWER=y
    run "$name" "sg0=$profile" "${faults[@]}" -- update /dev/sg0 $yes --json
}

command=$1; shift
[ $# -gt 0 ] && set -- "${1//-/_}" "${@:2}"  # NAME prefixes shell variables
case $command in
    run|at) "$command" "$@" ;;
    *) echo "usage: cli-reference.sh run NAME DEVICES [FAULT...] -- ARGS | at NAME PROFILE POINT FAULT" >&2; exit 2 ;;
esac
