// The guest driver's checks of the product's own code, one function per
// command of hil_driver; each returns the exit status (0 when all passed).
#pragma once

#include <string>

namespace hil {

// Refresh and YES through the real kernel (product_sequence.h) on the one
// gadget disk, compared with the host's simulated run in `referenceFile`;
// identification must name `expectedFamily`.
int ProductChecks(const std::string& referenceFile, int expectedFamily);

// The product's command path (ScsiDataIn/Out under the identity check)
// against a bare open/SG_IO/close loop over the command blocks of a --trace
// file, `rounds` times each, alternating; prints the costs and their ratio.
int BenchCommandPath(const std::string& commandsFile, int rounds);

// Pulls the gadget out and plugs it back in through the UDC file of its
// configfs gadget, and watches the product's notification source report both.
int HotplugChecks(const std::string& udcFile);

}  // namespace hil
