#include "product_sequence.h"

#include <cstdio>

#include "chip/chip_identification.h"
#include "device/device_enumeration.h"
#include "device/vendor_commands.h"
#include "flash/engine_options.h"
#include "flash/firmware_current.h"
#include "flash/one_click_update.h"
#include "flash/status_sink.h"

namespace hil {
namespace {

constexpr uint32_t kFlashBytes = 65536;
constexpr uint8_t kTargetFamily = 10;

std::vector<std::string> Paths(vxe::InterfaceClass cls) {
    vxe::PathSlots slots{};
    const int32_t count = vxe::EnumerateInterfaces(cls, slots, 0);
    std::vector<std::string> paths;
    for (int32_t i = 0; i < count; ++i) paths.emplace_back(slots[i].data());
    return paths;
}

}  // namespace

std::vector<uint8_t> StartingFlash() {
    std::vector<uint8_t> flash(kFlashBytes);
    for (size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<uint8_t>(i * 3 + 1);
    // The enclosure's own header: its bytes, the flags clear, "CV" at the end.
    for (size_t i = 0; i < 128; ++i) flash[i] = static_cast<uint8_t>(0xA0 ^ i);
    flash[0x2F] = 0x00;
    flash[126] = 'C';
    flash[127] = 'V';
    return flash;
}

ProductRun RunProductSequence() {
    ProductRun run;
    run.disks = Paths(vxe::InterfaceClass::Disk);
    run.cdroms = Paths(vxe::InterfaceClass::CdRom);
    if (run.disks.empty()) return run;
    const char* device = run.disks.front().c_str();

    run.chipId = vxe::IdentifyChip(device);
    if (vxe::ChipFamilyOf(run.chipId) == kTargetFamily) vxe::HostAttach(device);
    run.currentBefore = vxe::IsFirmwareCurrent(device);

    vxe::EngineOptions options;
    vxe::RecordingStatusSink sink;
    run.update = vxe::RunOneClickUpdate(device, run.chipId, options, sink);
    run.status = sink.statusText();
    run.currentAfter = vxe::IsFirmwareCurrent(device);
    return run;
}

std::string Summary(const ProductRun& run) {
    char text[96] = {};
    std::snprintf(text, sizeof text, "chip=%04x current-before=%d update=%d current-after=%d", run.chipId,
                  run.currentBefore ? 1 : 0, static_cast<int>(run.update), run.currentAfter ? 1 : 0);
    return text;
}

}  // namespace hil
