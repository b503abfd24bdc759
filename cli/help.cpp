#include "cli/help.h"

namespace vxe::cli {
namespace {

constexpr std::string_view kGeneral = R"(NAME
    fwupdate-cli - update the firmware of Corvane VXE720-family USB storage bridges

SYNOPSIS
    fwupdate-cli list [--json] [--bus DIR] [--trace FILE]
    fwupdate-cli info DEVICE [--json] [--bus DIR] [--trace FILE]
    fwupdate-cli check-file FILE --chip-id ID [--json]
    fwupdate-cli update (DEVICE [--header-from FILE] | --all [--jobs N]) [--yes]
                 [--force] [--json] [--bus DIR] [--trace FILE]
    fwupdate-cli run DEVICE (--firmware FILE | --erase-only | --backup-only [FILE])
                 [--flash-type N] [--a1-chip] [--firmware-size BYTES]
                 [--page-size BYTES] [--json] [--bus DIR] [--trace FILE]
    fwupdate-cli help [COMMAND] | --help | --version

DESCRIPTION
    The window's work from a shell. `list` finds the enclosures that need the
    update, `update` does what the window's YES button does, `info` shows the
    window's readout of a device, `check-file` tests a firmware file against
    a chip, and `run` is the engineering panel's Run button.

    DEVICE is an index from `list` (0, 1, ...) or a device path as `list`
    prints it (on Linux /dev/sgN). An index makes the command run the same
    device pass as `list` first; a path talks to that one device only.

    fwupdate-cli COMMAND --help describes each command.

COMMON OPTIONS
    --json         Print the result as one JSON object on one line, for every
                   outcome: usage errors and "no such device" included.
                   Every object has "schema" (the version of these objects,
                   now 1) and "command"; a failure adds
                   "error":{"message":TEXT,"status":EXIT STATUS}. Message
                   boxes shown meanwhile are in "messages" as
                   [{"caption":..,"text":..}]. Text is UTF-8 as the device or
                   file system gave it; only quote, backslash and control
                   characters are escaped, and a byte that is not UTF-8 is
                   written as U+FFFD. The error line still goes to standard
                   error. See )" VXE_DOC_DIR R"(/cli-json.md.
    --bus DIR      Work on simulated devices described by the *.device files
                   in DIR instead of the machine's devices (see
                   )" VXE_DOC_DIR R"(/simulated-devices.md).
                   Simulated time passes at once.
                   DIR/images/NAME.bin (FW849, FW652A, FW652B) are images
                   the simulated program carries for the update engines;
                   they must fit a chip that uses them (exit 2 if not).
    --real-time    With --bus: simulated erase and program times take wall-
                   clock time (for measuring, e.g. update --all --jobs).
    --trace FILE   Write every command sent to a device to FILE, one line
                   each, in the order sent:
                     SEQ DIR OPEN cdb=HEX requested=N transferred=N timeout=S result=R path=PATH
                   DIR is in or out, OPEN shared or exclusive, HEX the command
                   block, requested the bytes asked for on the wire,
                   transferred what the platform reported ("-" when the
                   device could not be opened), timeout in seconds, R ok,
                   error:CODE or not-opened.
    --             Everything after it is an argument, not an option.

EXIT STATUS
    0   success
    1   the operation failed, was not confirmed, or was refused once the
        chip was identified (no procedure for the family, a firmware file
        that does not fit, an option the family's procedure lacks); a
        refusal sends only the identification's reads
    2   usage error: a bad option, file, device description or image
        beside it; nothing was sent to any device
    3   DEVICE names no device (or one past the 16 the utility looks at)
    4   update: the firmware is already current; nothing was written

    Errors are one line on standard error. Notices the window shows in
    message boxes are printed there as "Caption: text".
)";

constexpr std::string_view kList = R"(NAME
    fwupdate-cli list - the devices the window would offer for the update

SYNOPSIS
    fwupdate-cli list [--json] [--bus DIR] [--trace FILE]

DESCRIPTION
    Runs the window's device pass: every USB storage device is identified,
    VXE731/720-family bridges get the attach command, and those whose flash
    already holds the built-in firmware are left out. Listed devices found
    through the CD-ROM interface get the detach command when the command
    ends, as when the window closes (so do info, update and run when DEVICE
    is an index).

OUTPUT
    One line per listed device (they need the update), then one per VXE720
    enclosure the window leaves out because its flash already holds the
    built-in firmware (index "-"), then the number of candidate devices (USB
    storage interfaces, before any test) and the window's prompt:

        0<TAB>/dev/sg2<TAB><<USB>> Corvane VXE720 SATA Brdg<TAB>needs-update
        -<TAB>/dev/sg4<TAB><<USB>> Corvane VXE720 SATA Brdg<TAB>current
        candidates: 3
        Click 'Yes' to proceed with the firmware update

    When the machine has more than 16 USB storage interfaces, a line before
    the prompt says how many are past the first 16; the utility never looks
    at those.

    The prompt is one of "Click 'Yes' to proceed with the firmware update",
    "The chip already updated!!" or "No device found!!"; the window indents
    the last two with blanks, the plain output does not. Names and paths are
    printed with bytes outside printable ASCII as \xNN.

    With --json: {"schema":1,"command":"list","devices":[{"index":0,
    "path":"...","name":"<<USB>> ...","detachAtExit":false,
    "needsUpdate":true}],"candidates":3,"beyondSlots":0,
    "alreadyUpdated":false,"state":"ready|already-updated|no-device",
    "prompt":"...","messages":[]}; current enclosures have "index":null and
    "needsUpdate":false; "prompt" is the window's text byte for byte,
    blanks included.

EXIT STATUS
    0 when the pass ran, whatever it found.
)";

constexpr std::string_view kInfo = R"(NAME
    fwupdate-cli info - the window's readout of one device

SYNOPSIS
    fwupdate-cli info DEVICE [--json] [--bus DIR] [--trace FILE]

DESCRIPTION
    Identifies the device's chip, names its flash (serial-flash families),
    reads the firmware version the controller reports and shows the status
    text the window would show. Nothing is written to the device.

OUTPUT
    device:           /dev/sg2
    chip:             VXE731/720 Series
    family:           10
    revision:         9
    chip id:          0x090A
    flash type:       WINBOND
    firmware version: Ver 1.02.03
    amic flash code:  -
    one-click update: applies (fwupdate-cli update 0)
    run procedure:    none
    run status:       The chip not support Firmware Update!

    An empty field is printed as its name alone. "one-click update" is for
    VXE731/720 bridges only ("-" for others): "applies" and the update
    command to run, or "the firmware is already current". A device whose chip
    information lacks the Corvane marker (status "Not Corvane Chip!!") is
    shown as "not a Corvane chip", under no family name. "amic flash code" is "-"
    for the families whose flash is not identified. "run procedure" is what
    `run` would start: flash-update, nvram-keeping-update,
    parallel-flash-update or none; "run status" is the status text the
    window shows beside Run in its engineering layout (for a VXE731/720
    it says Run has no procedure for the chip: the one-click update, above,
    is the one that applies).

    With --json: schema, command, device, chipId, chipIdHex, family,
    familyName (null when not Corvane), corvane, revision, flashType,
    firmwareVersion, status, oneClickUpdate (true: update would write,
    false: already current, null: not a VXE731/720), amicFlashCode (null
    when not read), runProcedure, messages.

EXIT STATUS
    0 when the readout ran (an unidentified device reads "Unknown Chip"),
    3 when DEVICE names no device.
)";

constexpr std::string_view kCheckFile = R"(NAME
    fwupdate-cli check-file - does a firmware file fit a chip

SYNOPSIS
    fwupdate-cli check-file FILE --chip-id ID [--json]

DESCRIPTION
    The engineering panel's firmware file check. ID is the ChipId as `info`
    prints it: chip family in the low byte, revision in the high byte,
    decimal or hexadecimal with 0x (0x000A is a VXE731/720, 0x0201 an
    RT71845 of revision 2). No device is used.

OUTPUT
    FILE fits VXE731/720 Series (ChipId 0x000A)
    FILE does not fit RT71849 Series (ChipId 0x0004)

    With --json: schema, command, file, chipId, chipIdHex, family,
    familyName, fits; error when it does not fit.

EXIT STATUS
    0 the file fits, 1 it does not, 2 it cannot be read or the ID is bad.
)";

constexpr std::string_view kUpdate = R"(NAME
    fwupdate-cli update - YES: write the built-in firmware to enclosures

SYNOPSIS
    fwupdate-cli update (DEVICE [--header-from FILE] | --all [--jobs N]) [--yes]
                 [--force] [--json] [--bus DIR] [--trace FILE]

DESCRIPTION
    Reads the device out as the window does before YES can be pressed. When
    its flash already holds the built-in firmware (the test the window uses
    to leave it out of its list: header excepted, only reads), nothing is
    written and the exit status is 4. Otherwise asks for confirmation on
    standard error (answer y or yes; anything else, or no input at all,
    writes nothing), then runs the one-click update: for a VXE731/720 the
    device's configuration header is merged with the built-in image's and
    the flash is programmed and verified; families 13, 6, 7 and 1 go through
    the update engine; other families fail at once.

    On a terminal a progress bar and the status text are drawn on one line.

    One procedure per device: while update or run works on a device (in
    this or any other process, the window included), a second one on it is
    refused at once, before anything is sent, with status 1. The device is
    fixed before the update's first command (for a listed row, when the
    device pass first spoke to it): before every command that writes, and
    once more after the verify, the node is checked to still belong to that
    device; when it has been given to another device nothing more is
    written, and the update fails.

    Before the first change, what the update read of the old flash is kept
    in a new file under $XDG_STATE_HOME/vxe-fwupdate (else
    ~/.local/state/vxe-fwupdate), named at once ("old header:" on the
    output; on standard error with --json or --all): the device's header
    and, where the update writes the old contents beyond the image back,
    the whole 64 KB. The file is marked unfinished until the flash is
    verified. When it cannot be kept nothing is written, and the folder and
    the reason are said. An update of a device whose last update was cut
    off (killed, a power loss) writes what that one would have written,
    from its kept file, and never calls such a flash current; where the
    cut-off update may have been of this enclosure but cannot be told to be
    (the same node or port, another attach), it stops and names the file
    to pass to --header-from.

    From the start to the end, every signal that would end the program
    (SIGKILL aside) is held back. One that comes before anything is written
    stops the update there; one that comes later lets it run to the end of
    its verify. The program then reports and exits with 128 + the signal
    (130 SIGINT, 143 SIGTERM, 129 SIGHUP, 141 SIGPIPE) and one line that
    says so. A signal ignored when the program started (nohup) stays
    ignored; a closed output fails its writes instead of ending the update.
    The machine is kept from sleeping or shutting down meanwhile (logind,
    where there is one).

    --yes          Do not ask.
    --header-from FILE
                   A file an update kept: when it is still marked
                   unfinished, or holds the whole 64 KB, it is written as
                   the cut-off update would have written it (its header, and
                   its old contents beyond the image's end). Any other file
                   whose first 128 bytes are a valid header is merged only
                   when the enclosure's own header is gone (cannot be read
                   or has no signature); the enclosure's own, when valid,
                   wins.
    --force        Write also when the firmware is already current.
    --all          Instead of DEVICE: run the device pass as `list` does and
                   update every listed enclosure (with --force, the current
                   ones too), each with its own readout and procedure. One
                   question for all of them.
    --jobs N       With --all: update up to N enclosures at once (1 to 16,
                   default 1). Each device gets the same commands in the
                   same order as alone; only separate devices overlap.

OUTPUT
    old header:       ~/.local/state/vxe-fwupdate/header-sg2-20250101T120000Z.bin
    device:           /dev/sg2
    chip:             VXE731/720 Series (ChipId 0x000A)
    header:           merged from FILE   (only when --header-from was used)
    recovered:        the old flash kept in FILE (an update that was cut
                      off) was written again   (only then)
    error:            why, when there is more to say than the last line
    last step:        ...            (the window's status field as the
                                      procedure left it, when it left one)
    Please power cycle the device

    or, instead of the last line, the window's failure line without its
    leading blanks: "Update    fail!!".

    With --all, one line per enclosure, PATH<TAB>STATE[<TAB>TEXT], in the
    order of the device pass (the enclosures already current last), then
    "N devices: U updated, F failed, C already current". Where each
    device's old flash was kept is said on standard error the moment it is
    written ("PATH: old header: FILE"), and in JSON as oldHeaderFile.

    With --json: schema, command, device, chipId, chipIdHex, family,
    familyName, oldHeaderFile (empty when none was kept), headerFromFile
    (true when the --header-from file was used), recoveredFrom (the kept
    file a cut-off update was written again from; empty: none), state (updated,
    failed, up-to-date, not-confirmed), outcome
    (the procedure's result), status, result (the window's text, blanks
    included), success, messages, and error on a failure. With --all:
    {"schema":1,"command":"update","all":true,"devices":[...one such object
    per enclosure...],"updated":U,"failed":F,"upToDate":C,"exitStatus":S}
    and error when any failed. Exactly one object, whatever came between:
    when a signal ended the run, or the node changed hands, error says so
    and its status is the exit status.

EXIT STATUS
    0 exactly when the window would show "Please power cycle the device"
    (--all: on every enclosure it wrote); 1 when it would show the failure
    line (--all: on any enclosure), when not confirmed, or when another
    procedure holds the device; 2 for a bad command line (a --header-from
    FILE without a valid header included); 3 when DEVICE
    names no device (--all: no VXE720 enclosure found); 4 when the
    firmware is already current (--all: on every enclosure) and nothing was
    written; 128 + the signal (130 SIGINT, 143 SIGTERM, 129 SIGHUP, 141
    SIGPIPE, ...) when one came: before anything was written (nothing was),
    or during the write (the update was finished first).
)";

constexpr std::string_view kRun = R"(NAME
    fwupdate-cli run - the engineering panel's Run button

SYNOPSIS
    fwupdate-cli run DEVICE (--firmware FILE | --erase-only | --backup-only [FILE])
                 [--flash-type N] [--a1-chip] [--firmware-size BYTES]
                 [--page-size BYTES] [--json] [--bus DIR] [--trace FILE]

DESCRIPTION
    Runs the procedure of the device's chip family as Run does with "RD
    Version" ticked: the flash update for families 1, 3, 4 and 7, the
    NVRAM-keeping update for family 6, the parallel-flash update for
    families 2 and 18. Other families have none: nothing is sent and the
    exit status is 1. The procedures program the images built into the
    program; the firmware file only has to fit the chip, as the panel
    requires before Run can be pressed. There is no question asked.

    As with update, a device another procedure holds is refused before
    anything is sent, writes stop when the node has been given to another
    device, and a signal that would end the program stops the procedure
    before its first write or waits for its end.

OPTIONS
    --firmware FILE       The firmware file; it must fit the chip (see
                          check-file). Needed unless --erase-only or
                          --backup-only is given.
    --erase-only          "Erase All Flash Only": erase and blank-check.
    --backup-only [FILE]  "Backup Old Firmware Only": save the flash to FILE,
                          replacing it. Without FILE the procedures use
                          oldflash.bak in the current folder. Give DEVICE
                          before it, or write --backup-only=FILE.
                          Neither option is offered for family 6, whose
                          procedure always reprograms the flash: refused
                          once the chip is identified (exit 1, nothing
                          written).
    --flash-type N        The parallel flash: 0 ATMELAT 49BV512 (default),
                          1 PMC OM39LV512, 2 SST SST39LF512.
    --a1-chip             "A1 Chip": no switch to the internal ROM first.
    --firmware-size BYTES Bytes erased or backed up by the flash update:
                          32768, 65536 (default), 131072, 262144, 524288,
                          1048576.
    --page-size BYTES     Bytes per step: 32768, 16384 (default), 8192,
                          4096, 2048.

OUTPUT
    device:           /dev/sg3
    chip:             RT71849 Series (ChipId 0x0004)
    procedure:        flash-update, erase-only
    status:           Erase flash all success!
    result:           succeeded

    The procedures report only through their status text, so the result is
    read from it: flash update "...Programming Success!!" (after the dots
    of the pages), "Erase flash all success!", "Read flash and backup
    success!"; parallel-flash update "Programming & Compare Success!!",
    "Erase All success!!", "Read flash and backup success!". The
    NVRAM-keeping update writes no text when it succeeds; its own result
    decides.

    The procedures program the images built into the program under the
    names FW849 (flash and parallel-flash update) and FW652A/FW652B
    (NVRAM-keeping update, revision 1/2). A standard build carries none of
    them, so those procedures end at "Load defaut Fw file Error!!",
    "Programming Fail!!" or a silent failure; a build configured with
    -DVXE_EXTRA_IMAGES_DIR=FOLDER carries them, and --bus DIR takes them
    from DIR/images/ for simulated devices only.

    With --json: schema, command, device, chipId, chipIdHex, family,
    familyName, procedure, action (update, erase-only or backup-only),
    status, success, messages, and error on a failure.

EXIT STATUS
    0 succeeded; 1 failed, or refused after the identification (no
    procedure for the family, the firmware file does not fit, --erase-only
    or --backup-only on family 6); 2 usage error (nothing sent); 3 DEVICE
    names no device; 128 + the signal (130 SIGINT, 143 SIGTERM, ...) when
    one came (the procedure stopped before writing, or was finished
    first). Another procedure holding the device gives 1.
)";

}  // namespace

std::string_view HelpText(std::optional<Command> command) {
    if (!command) return kGeneral;
    switch (*command) {
        case Command::List: return kList;
        case Command::Info: return kInfo;
        case Command::CheckFile: return kCheckFile;
        case Command::Update: return kUpdate;
        case Command::Run: return kRun;
        case Command::Help:
        case Command::Version: break;
    }
    return kGeneral;
}

}  // namespace vxe::cli
