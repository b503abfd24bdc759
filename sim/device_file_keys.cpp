// The keys of a device file: what each applies to the device, in stages, and
// the reading of one description into a device.
#include "sim/device_file_grammar.h"

#include <algorithm>
#include <filesystem>
#include <initializer_list>

namespace sim {
namespace device_file {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMaxFlashSize = 0x1000000;  // flash addresses travel in 24 bits
constexpr uint64_t kMemorySize = 0x10000;

void RequireBridge(const Context& c, const Entry& e) {
    if (c.profile == ProfileKind::PlainDisk) c.fail(e, "only for a bridge profile, not for profile = plain-disk");
}

void RequireFamily(const Context& c, const Entry& e, std::initializer_list<int> families, const char* which) {
    RequireBridge(c, e);
    if (std::find(families.begin(), families.end(), c.family) == families.end()) {
        c.fail(e, std::string("only for ") + which + ", this device is family " + std::to_string(c.family));
    }
}

void RequireSerialFlash(const Context& c, const Entry& e) {
    RequireBridge(c, e);
    if (c.family == 2 || c.family == 18) c.fail(e, "families 2 and 18 carry a parallel flash");
}

const Key kKeys[] = {
    {"profile", Stage::Profile, false, false,
     [](Context& c, const Entry& e) {
         if (e.value == "vxe720-enclosure") {
             c.profile = ProfileKind::Enclosure;
             c.family = 10;
         } else if (e.value == "family") {
             c.profile = ProfileKind::Family;
             c.family = 0;  // the family key names it
         } else if (e.value == "plain-disk") {
             c.profile = ProfileKind::PlainDisk;
             c.family = 0;
         } else {
             c.fail(e, "expected vxe720-enclosure, family or plain-disk, got \"" + e.value + "\"");
         }
     }},
    {"family", Stage::Option, false, false,
     [](Context& c, const Entry& e) {
         if (c.profile != ProfileKind::Family) c.fail(e, "only with profile = family");
     }},
    {"route", Stage::Option, false, false,
     [](Context& c, const Entry& e) {
         if (c.profile != ProfileKind::Family) c.fail(e, "only with profile = family");
         if (e.value == "inquiry-tag") c.route = Route::InquiryTag;
         else if (e.value == "information-block") c.route = Route::InformationBlock;
         else if (e.value == "id-string") c.route = Route::IdString;
         else if (e.value == "id-word") c.route = Route::IdWord;
         else c.fail(e, "expected inquiry-tag, information-block, id-string or id-word, got \"" + e.value + "\"");
     }},
    {"revision-char", Stage::Option, false, false,
     [](Context& c, const Entry& e) {
         RequireBridge(c, e);
         if (e.value.size() != 1) c.fail(e, "expected one character, got \"" + e.value + "\"");
         c.options.revisionChar = static_cast<uint8_t>(e.value[0]);
     }},
    {"fdb0-at-least-b4", Stage::Option, false, false,
     [](Context& c, const Entry& e) {
         RequireFamily(c, e, {10}, "family 10");
         c.options.fdb0AtLeastB4 = YesNo(c, e);
     }},
    {"memory-505e-direct", Stage::Option, false, false,
     [](Context& c, const Entry& e) {
         RequireFamily(c, e, {10}, "family 10");
         c.options.memory505eDirect = YesNo(c, e);
     }},
    {"register-7058-bit0", Stage::Option, false, false,
     [](Context& c, const Entry& e) {
         RequireFamily(c, e, {10}, "family 10");
         c.options.register7058Bit0 = YesNo(c, e);
     }},
    {"flash-vendor", Stage::Option, false, false,
     [](Context& c, const Entry& e) {
         RequireSerialFlash(c, e);
         c.options.flashVendorCode = static_cast<uint8_t>(ValueIn(c, e, 0, 255));
     }},
    {"amic-capacity", Stage::Option, false, false,
     [](Context& c, const Entry& e) {
         RequireSerialFlash(c, e);
         c.options.amicFlash = true;
         c.options.amicCapacity = static_cast<uint8_t>(ValueIn(c, e, 0, 255));
     }},
    {"info-length", Stage::Option, false, false,
     [](Context& c, const Entry& e) {
         RequireBridge(c, e);
         const uint64_t n = ValueIn(c, e, 12, 16);
         if (n != 12 && n != 16) c.fail(e, "expected 12 or 16, got " + e.value);
         c.options.sixteenByteInfo = n == 16;
     }},
    {"version", Stage::Option, false, false,
     [](Context& c, const Entry& e) {
         RequireBridge(c, e);
         const std::vector<uint8_t> v = DottedVersion(c, e, 3);
         std::copy(v.begin(), v.end(), c.options.version3.begin());
     }},
    {"short-version", Stage::Option, false, false,
     [](Context& c, const Entry& e) {
         RequireBridge(c, e);
         const std::vector<uint8_t> v = DottedVersion(c, e, 2);
         std::copy(v.begin(), v.end(), c.options.version2.begin());
     }},
    {"parallel-flash-type", Stage::Option, false, false,
     [](Context& c, const Entry& e) {
         RequireFamily(c, e, {2, 18}, "families 2 and 18");
         c.options.parallelFlashType = static_cast<int>(ValueIn(c, e, 0, 2));
     }},
    {"timing", Stage::Option, false, false,
     [](Context& c, const Entry& e) {
         if (e.value == "instant") c.timing = Timing::Instant();
         else if (e.value == "small-spi-nor") c.timing = Timing::SmallSpiNor();
         else c.fail(e, "expected instant or small-spi-nor, got \"" + e.value + "\"");
     }},

    // The device on the bus.
    {"path", Stage::Override, false, false,
     [](Context& c, const Entry& e) {
         const std::string path = Text(c, e);
         if (path.empty()) c.fail(e, "the path is empty");
         if (std::any_of(path.begin(), path.end(), [](unsigned char ch) { return ch < 0x20 || ch == 0x7F; })) {
             c.fail(e, "the path holds a control character");
         }
         c.device.path = path;
     }},
    {"class", Stage::Override, false, false,
     [](Context& c, const Entry& e) {
         if (e.value == "disk") c.device.interfaceClass = InterfaceClass::Disk;
         else if (e.value == "cdrom") c.device.interfaceClass = InterfaceClass::CdRom;
         else c.fail(e, "expected disk or cdrom, got \"" + e.value + "\"");
     }},
    {"usb-storage", Stage::Override, false, false,
     [](Context& c, const Entry& e) { c.device.usbStorage = YesNo(c, e); }},
    {"real-time", Stage::Override, false, false,
     [](Context& c, const Entry& e) { c.device.realTime = YesNo(c, e); }},
    {"given-away-after", Stage::Override, false, false,
     [](Context& c, const Entry& e) { c.device.givenAwayAfter = ValueIn(c, e, 0, UINT64_MAX); }},
    {"flash-file", Stage::Override, false, false,
     [](Context& c, const Entry& e) {
         const std::string name = Text(c, e);
         if (name.empty()) c.fail(e, "the file name is empty");
         const fs::path p(name);
         c.device.flashFile = (p.is_absolute() ? p : fs::path(c.directory) / p).lexically_normal().string();
         c.device.flashFileLine = e.line;
     }},

    // Replies, over whatever the profile set.
    {"inquiry", Stage::Override, false, false,
     [](Context& c, const Entry& e) { c.device.description.inquiry = Bytes(c, e); }},
    {"chip-information", Stage::Override, false, false,
     [](Context& c, const Entry& e) { c.device.description.chipInformation = Bytes(c, e); }},
    {"id-word", Stage::Override, false, false,
     [](Context& c, const Entry& e) { c.device.description.idWord = FixedBytes<2>(c, e); }},
    {"id-string", Stage::Override, false, false,
     [](Context& c, const Entry& e) { c.device.description.idString = Bytes(c, e); }},
    {"memory", Stage::Override, true, true,
     [](Context& c, const Entry& e) {
         const uint64_t address = NumberIn(c, e, e.argument, 0, kMemorySize - 1);
         std::vector<uint8_t> bytes = Bytes(c, e);
         if (address + bytes.size() > kMemorySize) c.fail(e, "the bytes run past the end of memory at 0xFFFF");
         c.device.description.setMemory(static_cast<uint16_t>(address), std::move(bytes));
     }},
    {"flash-vendor-code", Stage::Override, false, false,
     [](Context& c, const Entry& e) {
         c.device.description.flashVendorCode = static_cast<uint8_t>(ValueIn(c, e, 0, 255));
     }},
    {"jedec-id", Stage::Override, false, false,
     [](Context& c, const Entry& e) { c.device.description.jedecId = FixedBytes<4>(c, e); }},
    {"flash-kind", Stage::Override, false, false,
     [](Context& c, const Entry& e) {
         if (e.value == "serial") c.device.description.flashKind = FlashKind::Serial;
         else if (e.value == "parallel") c.device.description.flashKind = FlashKind::Parallel;
         else c.fail(e, "expected serial or parallel, got \"" + e.value + "\"");
     }},
    {"flash-size", Stage::Override, false, false,
     [](Context& c, const Entry& e) {
         c.device.description.flashSize = static_cast<uint32_t>(ValueIn(c, e, 1, kMaxFlashSize));
     }},
    {"small-erase-unit", Stage::Override, false, false,
     [](Context& c, const Entry& e) {
         c.device.description.smallEraseUnit = static_cast<uint32_t>(ValueIn(c, e, 1, kMaxFlashSize));
     }},
    {"large-erase-unit", Stage::Override, false, false,
     [](Context& c, const Entry& e) {
         c.device.description.largeEraseUnit = static_cast<uint32_t>(ValueIn(c, e, 1, kMaxFlashSize));
     }},
    {"block-erase-unit", Stage::Override, false, false,
     [](Context& c, const Entry& e) {
         c.device.description.blockEraseUnit = static_cast<uint32_t>(ValueIn(c, e, 1, kMaxFlashSize));
     }},
    {"block-erase-sectors", Stage::Override, false, false,
     [](Context& c, const Entry& e) {
         std::vector<uint32_t> starts;
         for (std::string_view word : Words(e.value)) {
             starts.push_back(static_cast<uint32_t>(NumberIn(c, e, word, 0, kMaxFlashSize - 1)));
         }
         if (starts.empty() || starts.front() != 0 || !std::is_sorted(starts.begin(), starts.end()) ||
             std::adjacent_find(starts.begin(), starts.end()) != starts.end()) {
             c.fail(e, "expected ascending sector start addresses beginning with 0");
         }
         c.device.description.blockEraseSectors = std::move(starts);
     }},
    {"vendor-commands", Stage::Override, false, false,
     [](Context& c, const Entry& e) { c.device.description.answersVendorCommands = YesNo(c, e); }},
    {"switch-to-internal-rom-fails", Stage::Override, false, false,
     [](Context& c, const Entry& e) { c.device.description.switchToInternalRomFails = YesNo(c, e); }},

    // Faults.
    {"fail-command", Stage::Override, false, false,
     [](Context& c, const Entry& e) { c.device.faults.failCommandAt = ValueIn(c, e, 0, UINT64_MAX); }},
    {"fail-matching", Stage::Override, false, true,
     [](Context& c, const Entry& e) {
         const std::vector<uint8_t> bytes = Bytes(c, e);
         if (bytes.empty() || bytes.size() > 2) c.fail(e, "expected an opcode and an optional sub-command byte");
         CommandMatch match{bytes[0], std::nullopt};
         if (bytes.size() == 2) match.subCommand = bytes[1];
         c.device.faults.failMatching.push_back(match);
     }},
    {"check-condition-on-vendor-commands", Stage::Override, false, false,
     [](Context& c, const Entry& e) { c.device.faults.checkConditionOnVendorCommands = YesNo(c, e); }},
    {"vanish-from", Stage::Override, false, false,
     [](Context& c, const Entry& e) { c.device.faults.vanishFrom = ValueIn(c, e, 0, UINT64_MAX); }},
    {"stuck-busy-from", Stage::Override, false, false,
     [](Context& c, const Entry& e) { c.device.faults.stuckBusyFrom = ValueIn(c, e, 0, UINT64_MAX); }},
    {"ignore-write", Stage::Override, false, false,
     [](Context& c, const Entry& e) { c.device.faults.ignoreWriteAt = ValueIn(c, e, 0, UINT64_MAX); }},
    {"stuck-bit", Stage::Override, false, false,
     [](Context& c, const Entry& e) {
         const std::vector<std::string_view> words = Words(e.value);
         if (words.size() != 2) c.fail(e, "expected a flash address and a bit mask");
         c.device.faults.stuckBit = StuckBit{static_cast<uint32_t>(NumberIn(c, e, words[0], 0, kMaxFlashSize - 1)),
                                             static_cast<uint8_t>(NumberIn(c, e, words[1], 1, 255))};
     }},
    {"signal-at", Stage::Override, false, false,
     [](Context& c, const Entry& e) {
         const std::vector<std::string_view> words = Words(e.value);
         if (words.size() != 2) c.fail(e, "expected a command number and a signal");
         const uint64_t at = NumberIn(c, e, words[0], 0, UINT64_MAX);
         const std::optional<int> signal = SignalNamed(words[1]);
         if (!signal) c.fail(e, "no signal \"" + std::string(words[1]) + "\" (a name such as TERM, or a number)");
         c.device.signalAt = SignalAt{at, *signal};
     }},
    {"short-read", Stage::Override, false, false,
     [](Context& c, const Entry& e) {
         const std::vector<std::string_view> words = Words(e.value);
         if (words.empty() || words.size() > 2) c.fail(e, "expected a command number and an optional byte count");
         c.device.faults.shortReadAt = NumberIn(c, e, words[0], 0, UINT64_MAX);
         if (words.size() == 2) {
             c.device.faults.shortReadMissing = static_cast<uint32_t>(NumberIn(c, e, words[1], 1, UINT32_MAX));
         }
     }},
};

void ApplyStage(Context& c, const std::vector<Entry>& entries, Stage stage) {
    for (const Entry& entry : entries) {
        const Key* key = FindKey(entry.key);
        if (key->stage == stage) key->apply(c, entry);
    }
}

const Entry* Find(const std::vector<Entry>& entries, std::string_view key) {
    for (const Entry& entry : entries) {
        if (entry.key == key) return &entry;
    }
    return nullptr;
}

DeviceDescription BuildProfile(const Context& c) {
    switch (c.profile) {
        case ProfileKind::Enclosure:
            return Vxe720Enclosure(c.options);
        case ProfileKind::Family:
            return ProfileForFamily(c.family, c.route, c.options);
        case ProfileKind::PlainDisk:
            break;
    }
    return PlainUsbDisk();
}

// Checks that need the finished description.
void CheckDescription(const Context& c, const std::vector<Entry>& entries) {
    const DeviceDescription& d = c.device.description;
    if (!d.blockEraseSectors.empty() && d.blockEraseSectors.back() >= d.flashSize) {
        c.fail(*Find(entries, "block-erase-sectors"), "a sector starts beyond the end of the flash");
    }
    if (d.flashSize == 0 && !c.device.flashFile.empty()) {
        c.fail(*Find(entries, "flash-file"), "this device has no flash (give flash-size)");
    }
}

std::string Stem(const std::string& fileName) {
    const fs::path p(fileName);
    return p.stem().string();
}

}  // namespace

const Key* FindKey(std::string_view name) {
    for (const Key& key : kKeys) {
        if (key.name == name) return &key;
    }
    return nullptr;
}

}  // namespace device_file

using namespace device_file;

DeviceFile ParseDeviceFile(std::string_view text, const std::string& fileName, const std::string& directory) {
    const std::vector<Entry> entries = ReadEntries(text, fileName);
    Context c(fileName, directory);

    const Entry* profile = Find(entries, "profile");
    if (profile == nullptr) {
        throw DeviceFileError(fileName + ": profile: missing (vxe720-enclosure, family or plain-disk)");
    }
    ApplyStage(c, entries, Stage::Profile);
    if (c.profile == ProfileKind::Family) {
        const Entry* family = Find(entries, "family");
        if (family == nullptr) throw DeviceFileError(fileName + ": family: missing (profile = family needs one)");
        c.family = static_cast<int>(ValueIn(c, *family, 1, 18));
    }
    ApplyStage(c, entries, Stage::Option);

    c.device.fileName = fileName;
    c.device.path = Stem(fileName);
    c.device.description = BuildProfile(c);
    if (c.timing) c.device.description.timing = *c.timing;
    ApplyStage(c, entries, Stage::Override);
    CheckDescription(c, entries);
    return c.device;
}

}  // namespace sim
