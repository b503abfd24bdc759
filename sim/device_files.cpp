#include "sim/device_files.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "sim/profiles.h"

namespace sim {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMaxFlashSize = 0x1000000;  // flash addresses travel in 24 bits
constexpr uint64_t kMemorySize = 0x10000;

// One `key [argument] = value` line.
struct Entry {
    int line = 0;
    std::string key;
    std::string argument;
    std::string value;
};

enum class ProfileKind { Enclosure, Family, PlainDisk };

// What the keys apply to while a description is turned into a device.
struct Context {
    Context(const std::string& file, const std::string& dir) : fileName(file), directory(dir) {}

    const std::string& fileName;
    const std::string& directory;
    ProfileKind profile = ProfileKind::Enclosure;
    int family = 10;  // the bridge's family; 0 for a plain disk
    Route route = Route::InquiryTag;
    ProfileOptions options;
    std::optional<Timing> timing;
    DeviceFile device;

    [[noreturn]] void fail(const Entry& entry, const std::string& problem) const {
        throw DeviceFileError(fileName + ":" + std::to_string(entry.line) + ": " + entry.key + ": " + problem);
    }
};

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
        size_t end = at;
        while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
        if (end > at) words.push_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

std::optional<uint64_t> Number(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

uint64_t NumberIn(const Context& c, const Entry& e, std::string_view text, uint64_t low, uint64_t high) {
    const std::optional<uint64_t> n = Number(text);
    if (!n || *n < low || *n > high) {
        c.fail(e, "expected a number from " + std::to_string(low) + " to " + std::to_string(high) +
                      " (decimal, or hexadecimal with 0x), got \"" + std::string(text) + "\"");
    }
    return *n;
}

uint64_t ValueIn(const Context& c, const Entry& e, uint64_t low, uint64_t high) {
    return NumberIn(c, e, e.value, low, high);
}

bool YesNo(const Context& c, const Entry& e) {
    if (e.value == "yes") return true;
    if (e.value == "no") return false;
    c.fail(e, "expected yes or no, got \"" + e.value + "\"");
}

int HexDigit(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

// The quoted text that starts at v[at] (with \\, \" and \xNN escapes),
// appended to `out`; returns the position after its closing quote.
template <typename Out>
size_t QuotedText(const Context& c, const Entry& e, size_t at, Out& out) {
    const std::string& v = e.value;
    for (++at;; ++at) {
        if (at >= v.size()) c.fail(e, "text without its closing quote");
        if (v[at] == '"') return at + 1;
        if (v[at] != '\\') {
            out.push_back(static_cast<typename Out::value_type>(v[at]));
        } else if (at + 1 < v.size() && (v[at + 1] == '\\' || v[at + 1] == '"')) {
            out.push_back(static_cast<typename Out::value_type>(v[++at]));
        } else if (at + 3 < v.size() && v[at + 1] == 'x' && HexDigit(v[at + 2]) >= 0 && HexDigit(v[at + 3]) >= 0) {
            out.push_back(static_cast<typename Out::value_type>(HexDigit(v[at + 2]) << 4 | HexDigit(v[at + 3])));
            at += 3;
        } else {
            c.fail(e, "unknown escape in quoted text (use \\\\, \\\" or \\xNN)");
        }
    }
}

// A text value: as written, or in double quotes (for text that holds '#',
// such as a Windows device path).
std::string Text(const Context& c, const Entry& e) {
    if (e.value.empty() || e.value.front() != '"') return e.value;
    std::string text;
    if (QuotedText(c, e, 0, text) != e.value.size()) c.fail(e, "unexpected text after the closing quote");
    return text;
}

// Hexadecimal bytes ("F4 E7", "F4E7") and quoted text ("c731", with \\, \"
// and \xNN escapes), in any mix.
std::vector<uint8_t> Bytes(const Context& c, const Entry& e) {
    std::vector<uint8_t> bytes;
    const std::string& v = e.value;
    size_t at = 0;
    while (at < v.size()) {
        if (v[at] == ' ' || v[at] == '\t') {
            ++at;
        } else if (v[at] == '"') {
            at = QuotedText(c, e, at, bytes);
        } else {
            size_t end = at;
            while (end < v.size() && v[end] != ' ' && v[end] != '\t' && v[end] != '"') ++end;
            const std::string_view token(v.data() + at, end - at);
            if (token.size() % 2 != 0 || !std::all_of(token.begin(), token.end(), [](char ch) { return HexDigit(ch) >= 0; })) {
                c.fail(e, "expected hexadecimal bytes (\"F4 E7\") or quoted text, got \"" + std::string(token) + "\"");
            }
            for (size_t i = 0; i < token.size(); i += 2) {
                bytes.push_back(static_cast<uint8_t>(HexDigit(token[i]) << 4 | HexDigit(token[i + 1])));
            }
            at = end;
        }
    }
    return bytes;
}

template <size_t N>
std::array<uint8_t, N> FixedBytes(const Context& c, const Entry& e) {
    const std::vector<uint8_t> bytes = Bytes(c, e);
    if (bytes.size() != N) {
        c.fail(e, "expected exactly " + std::to_string(N) + " bytes, got " + std::to_string(bytes.size()));
    }
    std::array<uint8_t, N> fixed{};
    std::copy(bytes.begin(), bytes.end(), fixed.begin());
    return fixed;
}

std::vector<uint8_t> DottedVersion(const Context& c, const Entry& e, size_t parts) {
    std::vector<uint8_t> numbers;
    size_t at = 0;
    const std::string& v = e.value;
    while (at <= v.size()) {
        const size_t dot = std::min(v.find('.', at), v.size());
        const std::optional<uint64_t> n = Number(std::string_view(v).substr(at, dot - at));
        if (!n || *n > 255) break;
        numbers.push_back(static_cast<uint8_t>(*n));
        at = dot + 1;
    }
    if (numbers.size() != parts || at != v.size() + 1) {
        c.fail(e, "expected " + std::string(parts == 3 ? "three" : "two") +
                      " numbers from 0 to 255 separated by dots, got \"" + v + "\"");
    }
    return numbers;
}

// --- the keys ----------------------------------------------------------------

// Keys are applied in stages: the profile first, then what shapes the
// profile, then what overrides the finished description.
enum class Stage { Profile, Option, Override };

struct Key {
    std::string_view name;
    Stage stage;
    bool takesArgument;
    bool repeatable;
    void (*apply)(Context&, const Entry&);
};

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

const Key* FindKey(std::string_view name) {
    for (const Key& key : kKeys) {
        if (key.name == name) return &key;
    }
    return nullptr;
}

// Drops a comment: a '#' outside quoted text and everything after it.
std::string_view WithoutComment(std::string_view line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (quoted && line[i] == '\\') ++i;  // an escaped character, quote or not
        else if (line[i] == '"') quoted = !quoted;
        else if (line[i] == '#' && !quoted) return line.substr(0, i);
    }
    return line;
}

std::vector<Entry> ReadEntries(std::string_view text, const std::string& fileName) {
    std::vector<Entry> entries;
    int lineNumber = 0;
    size_t at = 0;
    while (at <= text.size()) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line = Trim(WithoutComment(text.substr(at, end - at)));
        ++lineNumber;
        at = end + 1;
        if (line.empty()) continue;
        const std::string where = fileName + ":" + std::to_string(lineNumber) + ": ";
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) throw DeviceFileError(where + "expected \"key = value\"");
        const std::vector<std::string_view> left = Words(line.substr(0, equals));
        if (left.empty()) throw DeviceFileError(where + "a value without a key");
        Entry entry{lineNumber, std::string(left[0]), "", std::string(Trim(line.substr(equals + 1)))};
        const Key* key = FindKey(entry.key);
        if (key == nullptr) throw DeviceFileError(where + entry.key + ": unknown key");
        if (key->takesArgument && left.size() != 2) {
            throw DeviceFileError(where + entry.key + ": expected \"" + entry.key + " ADDRESS = value\"");
        }
        if (!key->takesArgument && left.size() != 1) {
            throw DeviceFileError(where + entry.key + ": unexpected \"" + std::string(left[1]) + "\" before '='");
        }
        if (key->takesArgument) entry.argument = std::string(left[1]);
        if (!key->repeatable) {
            for (const Entry& earlier : entries) {
                if (earlier.key == entry.key) {
                    throw DeviceFileError(where + entry.key + ": given twice (first on line " +
                                          std::to_string(earlier.line) + ")");
                }
            }
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

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

bool SamePath(const std::string& a, const std::string& b) {
    const auto lower = [](unsigned char ch) { return ch >= 'A' && ch <= 'Z' ? ch + ('a' - 'A') : ch; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

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

std::vector<DeviceFile> LoadDeviceDirectory(const std::string& directory) {
    std::error_code ec;
    if (!fs::is_directory(directory, ec)) throw DeviceFileError(directory + ": not a directory of device files");
    std::vector<fs::path> names;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() == kDeviceFileExtension) names.push_back(it->path());
    }
    if (ec) throw DeviceFileError(directory + ": cannot be read: " + ec.message());
    std::sort(names.begin(), names.end());

    std::vector<DeviceFile> files;
    for (const fs::path& name : names) {
        std::ifstream in(name, std::ios::binary);
        if (!in) throw DeviceFileError(name.string() + ": cannot be read");
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        DeviceFile file = ParseDeviceFile(text, name.string(), directory);
        for (const DeviceFile& earlier : files) {
            if (SamePath(earlier.path, file.path)) {
                throw DeviceFileError(file.fileName + ": path: \"" + file.path + "\" is already the path of " +
                                      earlier.fileName);
            }
            if (!file.flashFile.empty() && earlier.flashFile == file.flashFile) {
                throw DeviceFileError(file.fileName + ": flash-file: already the flash of " + earlier.fileName);
            }
        }
        files.push_back(std::move(file));
    }
    return files;
}

bool WantsRealTime(const std::vector<DeviceFile>& files) {
    return std::any_of(files.begin(), files.end(), [](const DeviceFile& file) { return file.realTime; });
}

void AddDevicesToBus(Bus& bus, const std::vector<DeviceFile>& files) {
    for (const DeviceFile& file : files) {
        Bridge& bridge = bus.add(file.path, file.interfaceClass, file.description, file.usbStorage);
        bridge.faults() = file.faults;
        if (BusDevice* added = bus.find(file.path)) {
            std::error_code absent;
            const fs::path absolute = fs::absolute(file.fileName, absent);
            added->identity = "file:" + (absent ? file.fileName : absolute.lexically_normal().string());
            added->givenAwayAfter = file.givenAwayAfter;
        }
        if (file.flashFile.empty()) continue;
        const std::string problem = file.fileName + ":" + std::to_string(file.flashFileLine) + ": flash-file: \"" +
                                    file.flashFile + "\" ";
        std::error_code ec;
        if (fs::exists(file.flashFile, ec) && !fs::is_regular_file(file.flashFile, ec)) {
            throw DeviceFileError(problem + "is not a regular file");
        }
        // Padding or cutting a file of another size would pass it off as
        // this device's flash and rewrite it at the first change.
        const uintmax_t size = fs::exists(file.flashFile, ec) ? fs::file_size(file.flashFile, ec) : 0;
        if (!ec && fs::exists(file.flashFile, ec) && size != file.description.flashSize) {
            throw DeviceFileError(problem + "holds " + std::to_string(size) + " bytes, the flash " +
                                  std::to_string(file.description.flashSize));
        }
        bool attached = false;
        try {
            attached = bridge.attachFlashFile(file.flashFile);
        } catch (const std::exception&) {  // a stream that fails while reading
        }
        if (!attached) throw DeviceFileError(problem + "cannot be read");
    }
}

}  // namespace sim
