// What the window shows about the selected device: chip family, flash type,
// firmware version and status, and whether a chosen firmware file fits.
// Every call asks the device again; nothing is cached.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vxe {

enum class FamilyControls {
    SerialFlash,    // flash type shown (families 1, 3, 4, 6, 7)
    ParallelFlash,  // "A1 Chip" offered (families 2, 18)
    Unsupported,    // no engineering update
};

struct ChipReadout {
    uint16_t chipId = 0;
    std::optional<bool> runEnabled;        // set only when the file check ran
    std::string chipName;
    FamilyControls controls = FamilyControls::Unsupported;
    bool showNvram = false;                // family 6
    std::string flashTypeText;
    std::optional<int32_t> amicFlashCode;  // set for the serial-flash families
    std::string statusText;
    std::string versionText;
};

// Identifies the chip, checks `firmwareFile` against it when `checkFile` (a
// file that does not fit is reported in a message box), names the flash and
// reads the firmware version.
ChipReadout ReadChipStatus(const char* devicePath, bool checkFile, const std::string& firmwareFile);

// The version text of a chip information reply of `transferred` bytes.
std::string VersionText(const uint8_t* reply, int32_t transferred);

}  // namespace vxe
