// The update engines driven the way a user reaches them with images built
// in: fwupdate-cli run, from the readout through the procedure to the exit
// status. A zero exit status is the claim the sweep judges.
#include "tests/reliability/swept_cli_procedures.h"

#include <fstream>
#include <sstream>

#include "cli/cli.h"
#include "sim/profiles.h"

namespace vxe::reliability {
namespace {

constexpr uint32_t kFlash64K = 0x10000;

sim::ProfileOptions RealisticTiming() {
    sim::ProfileOptions o;
    o.timing = sim::Timing::SmallSpiNor();
    return o;
}

// `file` is what --firmware names: it only has to pass the panel's check.
Procedure CliRun(std::string name, int family, std::string image, std::vector<uint8_t> bytes,
                 std::vector<uint8_t> file, std::vector<std::string> options = {}) {
    Procedure p;
    p.name = std::move(name);
    p.device = sim::ProfileForFamily(family, sim::Route::InquiryTag, RealisticTiming());
    p.startFlash = Pattern(kFlash64K, static_cast<uint8_t>(0x40 + family));
    p.resources[image] = std::move(bytes);
    p.run = [file = std::move(file), options = std::move(options)](RunContext& c) {
        const std::string firmware = c.backupFile + ".firmware";
        std::ofstream(firmware, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
        std::vector<std::string> args = {"run", c.path, "--firmware", firmware};
        args.insert(args.end(), options.begin(), options.end());
        std::ostringstream out, err;
        CliTerminal terminal;
        terminal.devices = &c.platform;
        const int status = RunCli(args, out, err, terminal);
        return RunOutcome{status == 0, out.str() + err.str()};
    };
    return p;
}

std::vector<uint8_t> Tagged(std::vector<uint8_t> bytes, size_t offset, std::string_view tag) {
    std::copy(tag.begin(), tag.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return bytes;
}

}  // namespace

std::vector<Procedure> SweptCliProcedures() {
    // An RT71849 rev 1 image, and a KSV652 rev 1 one (tag block at 0x1000,
    // revision byte 0).
    const std::vector<uint8_t> fw849 = Tagged(Pattern(40000, 0x49), 4, "8490");
    std::vector<uint8_t> fw652a = Tagged(Pattern(40000, 0x65), 0x1000, "\x55\xAA\xAA\x55" "652A");
    fw652a[0] = 0x00;
    fw652a[0x1008] = 0x00;
    const std::vector<uint8_t> notRt7184x(16, 0x00);
    return {
        CliRun("fwupdate-cli run, flash update", 4, "FW849", fw849, Tagged(std::vector<uint8_t>(16), 4, "8490")),
        CliRun("fwupdate-cli run, NVRAM-keeping update", 6, "FW652A", fw652a, fw652a),
        [&] {
            Procedure p = CliRun("fwupdate-cli run, parallel flash update", 2, "FW849", fw849, notRt7184x);
            p.suiteIndexBudget = 8;  // a flash that stays busy costs 50,000 polls a wait
            return p;
        }(),
    };
}

}  // namespace vxe::reliability
