#include "tests/reliability/swept_procedures.h"

#include "tests/reliability/swept_cli_procedures.h"

#include <algorithm>

#include "chip/firmware_image.h"
#include "device/vendor_commands.h"
#include "flash/engine_options.h"
#include "flash/one_click_update.h"
#include "flash/paged_flash.h"
#include "flash/parallel_engine.h"
#include "flash/status_sink.h"
#include "flash/update_engine.h"
#include "sim/profiles.h"
#include "tests/support/simulated_machine.h"

namespace vxe::reliability {
namespace {

constexpr uint16_t kVxe720ChipId = 10;  // revision 0: not the revision that forces the direct path
constexpr uint16_t kVxe720EngineChipId = 13;
constexpr uint32_t kFlash64K = 0x10000;

sim::ProfileOptions RealisticTiming() {
    sim::ProfileOptions o;
    o.timing = sim::Timing::SmallSpiNor();
    return o;
}

RunOutcome Claims(bool success, const RecordingStatusSink& sink) { return {success, sink.statusText()}; }

bool IsOneOf(const std::string& text, std::initializer_list<const char*> claims) {
    return std::any_of(claims.begin(), claims.end(), [&](const char* claim) { return text == claim; });
}

Procedure OneClickVxe720(bool direct) {
    Procedure p;
    p.name = direct ? "YES, VXE720 through serial writes" : "YES, VXE720 through the paged image";
    sim::ProfileOptions o = RealisticTiming();
    o.memory505eDirect = direct;
    o.register7058Bit0 = true;
    p.device = sim::Vxe720Enclosure(o);
    p.startFlash = Vxe720OldFlash();
    p.run = [](RunContext& c) {
        RecordingStatusSink sink;
        const EngineOptions options;
        return Claims(RunOneClickUpdate(c.path, kVxe720ChipId, options, sink) != 0, sink);
    };
    return p;
}

// A VXE720-generation bridge of the engine family, with a 128 KB flash and an
// image larger than 64 KB: the engine erases the whole chip.
Procedure OneClickEngineFamily() {
    Procedure p;
    p.name = "YES, family 13 through the update engine";
    p.device = sim::ProfileForFamily(13, sim::Route::InquiryTag, RealisticTiming());
    p.device.flashSize = 2 * kFlash64K;
    p.startFlash = Pattern(p.device.flashSize, 0x31);
    p.resources["FW849"] = Pattern(80000, 0x49);
    p.run = [](RunContext& c) {
        RecordingStatusSink sink;
        const EngineOptions options;  // the readout leaves the AMIC code at 0 for this family
        return Claims(RunOneClickUpdate(c.path, kVxe720EngineChipId, options, sink) != 0, sink);
    };
    return p;
}

Procedure FlashUpdate(bool amicBootSectors) {
    Procedure p;
    sim::ProfileOptions o = RealisticTiming();
    o.amicFlash = amicBootSectors;
    p.name = amicBootSectors ? "Run, flash update on AMIC boot sectors" : "Run, flash update";
    p.device = sim::ProfileForFamily(1, sim::Route::InquiryTag, o);
    p.startFlash = Pattern(kFlash64K, 0x11);
    p.resources["FW849"] = Pattern(amicBootSectors ? 60000 : 36940, 0x84);
    const int32_t amicCode = amicBootSectors ? 3 : -1;
    p.run = [amicCode](RunContext& c) {
        RecordingStatusSink sink;
        EngineOptions options;
        options.amicFlashCode = amicCode;
        const int32_t result = RunFlashUpdate(c.path, options, sink);
        return Claims(result != 0 || sink.statusText().ends_with("Programming Success!!"), sink);
    };
    return p;
}

Procedure NvramKeepingUpdate() {
    Procedure p;
    p.name = "Run, NVRAM-keeping update";
    p.device = sim::ProfileForFamily(6, sim::Route::InquiryTag, RealisticTiming());
    p.startFlash = Pattern(kFlash64K, 0x66);
    p.resources["FW652A"] = Pattern(20000, 0x52);
    p.run = [](RunContext& c) {
        RecordingStatusSink sink;
        const EngineOptions options;
        int32_t nvramSkip = 0;
        return Claims(RunNvramKeepingUpdate(c.path, options, sink, nvramSkip) != 0, sink);
    };
    return p;
}

Procedure PagedImage() {
    Procedure p;
    p.name = "ProgramFlashImage";
    p.device = sim::ProfileForFamily(1, sim::Route::InquiryTag, RealisticTiming());
    p.startFlash = Pattern(kFlash64K, 0x70);
    p.run = [](RunContext& c) {
        RecordingStatusSink sink;
        const std::vector<uint8_t> image = Pattern(kFlash64K, 0x07);
        return Claims(ProgramFlashImage(c.path, image, kDefaultTransferPageSize, sink), sink);
    };
    return p;
}

Procedure ParallelUpdate(bool eraseOnly) {
    Procedure p;
    p.name = eraseOnly ? "Run, parallel erase only" : "Run, parallel flash update";
    p.device = sim::ProfileForFamily(2, sim::Route::InquiryTag, RealisticTiming());
    p.startFlash = Pattern(kFlash64K, 0x22);
    p.resources["FW849"] = Pattern(40000, 0x28);
    p.suiteIndexBudget = 16;  // a flash that stays busy costs 50,000 polls a wait
    p.run = [eraseOnly](RunContext& c) {
        RecordingStatusSink sink;
        EngineOptions options;
        options.eraseOnly = eraseOnly;
        RunParallelFlashUpdate(c.path, kParallelAtmel49BV512, options, sink);
        const bool claims = eraseOnly ? sink.statusText() == "Erase All success!!"
                                      : IsOneOf(sink.statusText(),
                                                {"Programming Success!!", "Programming & Compare Success!!"});
        return Claims(claims, sink);
    };
    return p;
}

Procedure EraseAll() {
    Procedure p;
    p.name = "EraseAllFlash";
    p.device = sim::ProfileForFamily(1, sim::Route::InquiryTag, RealisticTiming());
    p.startFlash = Pattern(kFlash64K, 0x0E);
    p.run = [](RunContext& c) {
        RecordingStatusSink sink;
        const EngineOptions options;
        const int32_t result = EraseAllFlash(c.path, options, sink);
        return Claims(result != 0 || sink.statusText() == "Erase flash all success!", sink);
    };
    return p;
}

Procedure BackupToFile() {
    Procedure p;
    p.name = "BackupFlashToFile";
    p.device = sim::ProfileForFamily(1, sim::Route::InquiryTag, RealisticTiming());
    p.startFlash = Pattern(kFlash64K, 0x0B);
    p.backupLength = kDefaultFirmwareSize;
    p.run = [](RunContext& c) {
        RecordingStatusSink sink;
        EngineOptions options;
        options.backupFileName = c.backupFile;
        const int32_t result = BackupFlashToFile(c.path, options, sink);
        return Claims(result != 0 || sink.statusText() == "Read flash and backup success!", sink);
    };
    return p;
}

Procedure BackupParallel() {
    Procedure p;
    p.name = "BackupParallelFlash";
    p.device = sim::ProfileForFamily(2, sim::Route::InquiryTag, RealisticTiming());
    p.startFlash = Pattern(kFlash64K, 0x0C);
    p.backupLength = ParallelImageSize;
    p.run = [](RunContext& c) {
        RecordingStatusSink sink;
        EngineOptions options;
        options.backupFileName = c.backupFile;
        BackupParallelFlash(c.path, options, sink);
        return Claims(sink.statusText() == "Read flash and backup success!", sink);
    };
    return p;
}

}  // namespace

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = 0x9E3779B9u ^ seed;
    for (uint8_t& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

std::vector<uint8_t> Vxe720OldFlash() {
    std::vector<uint8_t> flash = Pattern(kFlash64K, 0x72);
    std::vector<uint8_t> header(FirmwareHeaderSize);
    {
        const test::SimulatedMachine machine;  // the built-in image comes through a platform
        LoadEmbeddedImage(header, 0, FirmwareHeaderSize);
    }
    // The device's own configuration (bytes the update keeps) differs from
    // the image's, and its flag bit 1 is set.
    for (uint32_t i = 16; i < 40; ++i) header[i] = static_cast<uint8_t>(0xA0 + i);
    header[HeaderFlagsOffset] |= 0x02;
    std::copy(header.begin(), header.end(), flash.begin());
    return flash;
}

std::vector<Procedure> SweptProcedures() {
    std::vector<Procedure> procedures = {
        OneClickVxe720(true), OneClickVxe720(false), OneClickEngineFamily(),
        FlashUpdate(false),   FlashUpdate(true),     NvramKeepingUpdate(),
        PagedImage(),         ParallelUpdate(false), ParallelUpdate(true),
        EraseAll(),           BackupToFile(),        BackupParallel(),
    };
    for (Procedure& p : SweptCliProcedures()) procedures.push_back(std::move(p));
    return procedures;
}

}  // namespace vxe::reliability
