#include "chip/chip_readout.h"

#include <cstdio>

#include "chip/chip_identification.h"
#include "chip/firmware_image.h"
#include "device/vendor_commands.h"
#include "platform/platform.h"

namespace vxe {
namespace {

constexpr int32_t kInformationLength = 16;
constexpr int32_t kTwoPartLength = 12;

FamilyControls ControlsFor(uint8_t family) {
    switch (family) {
        case 1: case 3: case 4: case 6: case 7:
            return FamilyControls::SerialFlash;
        case 2: case 18:
            return FamilyControls::ParallelFlash;
        default:
            return FamilyControls::Unsupported;
    }
}

const char* UnreadVersion(uint8_t family) {
    if (family == 0) return "00.00";
    if (family == 1 || family == 2 || family == 4) return "02.00";
    return "01.00";
}

}  // namespace

std::string VersionText(const uint8_t* reply, int32_t transferred) {
    char text[32] = {};
    if (transferred > kTwoPartLength) {
        std::snprintf(text, sizeof text, "Ver %d.%.2d.%.2d", reply[12], reply[13], reply[14]);
    } else {
        std::snprintf(text, sizeof text, "Ver %d.%.2d", reply[6], reply[7]);
    }
    return text;
}

ChipReadout ReadChipStatus(const char* devicePath, bool checkFile, const std::string& firmwareFile) {
    ChipReadout readout;
    readout.chipId = IdentifyChip(devicePath);
    const uint8_t family = ChipFamilyOf(readout.chipId);

    if (checkFile && !firmwareFile.empty()) {
        if (CheckFirmwareFile(firmwareFile.c_str(), readout.chipId)) {
            readout.runEnabled = true;
        } else {
            CurrentPlatform().messageBox("The firmware file seems not match this chip!", "Message",
                                         MessageIcon::None);
            readout.runEnabled = false;
        }
    }

    readout.chipName = ChipFamilyName(family);
    readout.controls = ControlsFor(family);
    if (readout.controls == FamilyControls::SerialFlash) {
        readout.showNvram = family == 6;
        const FlashIdentity flash = IdentifyFlash(devicePath);
        readout.amicFlashCode = flash.amicFlashCode;
        readout.flashTypeText = flash.displayName;
    } else if (readout.controls == FamilyControls::Unsupported) {
        readout.statusText = "The chip not support Firmware Update!";
    }

    uint8_t reply[kInformationLength] = {};
    int32_t transferred = 0;
    if (!GetChipInformation(devicePath, reply, kInformationLength, &transferred)) {
        readout.versionText = UnreadVersion(family);
    } else if (reply[0] == 0xF4 && reply[1] == 0xE7) {
        readout.versionText = VersionText(reply, transferred);
    } else {
        readout.statusText = "Not Corvane Chip!!";
    }
    return readout;
}

}  // namespace vxe
