// Device descriptions of the Corvane bridges, as the controllers of each
// generation answer. Which route reaches which family:
//
//   InquiryTag        families 1..13 ("c845" .. "c720" in INQUIRY bytes 36..39)
//   InformationBlock  families 1..13 by the model text of the 0xE0 block, and
//                     18 by its vendor/product 1E3A/2846
//   IdString          families 1, 4, 6, 11: no tag, a block whose model text
//                     names nothing, and "c845C", "c849C", "c652", "c819A"
//   IdWord            families 14..17: no tag, no 0xE0 block (the older
//                     controllers reject it), the word's bits 5-6 pick the part
//
// Fallbacks: 14..17 always take IdWord, 18 always InformationBlock, and a
// family 1..13 that IdString or IdWord cannot reach takes InquiryTag.
#include "sim/profiles.h"

#include <stdexcept>
#include <string>
#include <string_view>

namespace sim {
namespace {

constexpr uint32_t kFlashSize = 0x10000;
constexpr uint32_t kMemorySize = 0x10000;
constexpr uint8_t kAmicCode = 7;

struct Family {
    std::string_view model;    // three-digit model text of the tag and the block
    std::string_view product;  // INQUIRY product identification (16 characters)
};

constexpr Family kFamilies[19] = {
    {"", ""},
    {"845", "RT71845 SATA    "}, {"846", "RT71846 SATA    "}, {"847", "RT71847 SATA    "},
    {"849", "RT71849 SATA    "}, {"839", "RT71839 SATA    "}, {"652", "KSV652 SATA Brdg"},
    {"653", "KSV653 SATA Brdg"}, {"655", "KSV655 SATA Brdg"}, {"656", "KSV656 SATA Brdg"},
    {"731", "VXE720 SATA Brdg"}, {"819", "KSV819 SATA Brdg"}, {"809", "KSV809 SATA Brdg"},
    {"720", "VXE720 SATA Brdg"}, {"847", "RT71847 SATA    "}, {"848", "RT71848 SATA    "},
    {"849", "RT71849 SATA    "}, {"845", "RT71845 SATA    "}, {"846", "RT71846 SATA    "},
};

const char* RouteName(Route route) {
    switch (route) {
        case Route::InquiryTag: return "inquiry tag";
        case Route::InformationBlock: return "information block";
        case Route::IdString: return "identification string";
        case Route::IdWord: return "identification word";
    }
    return "";
}

// Standard INQUIRY data of a direct-access device, SPC-4, followed by the
// vendor-specific bytes that carry the chip tag.
std::vector<uint8_t> InquiryData(std::string_view vendor, std::string_view product, std::string_view revision,
                                 std::string_view tag, size_t size) {
    std::vector<uint8_t> bytes(size, 0);
    bytes[2] = 0x06;
    bytes[3] = 0x02;
    bytes[4] = static_cast<uint8_t>(size - 5);
    const auto put = [&](size_t at, std::string_view text, size_t width) {
        for (size_t i = 0; i < width; ++i) bytes[at + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
    };
    put(8, vendor, 8);
    put(16, product, 16);
    put(32, revision, 4);
    for (size_t i = 0; i < tag.size() && 36 + i < size; ++i) bytes[36 + i] = static_cast<uint8_t>(tag[i]);
    return bytes;
}

// Erase units and JEDEC identifier of a typical 512 Kbit part of each maker.
struct SerialPart {
    uint32_t smallUnit;
    uint32_t largeUnit;
    std::array<uint8_t, 4> jedec;
};

SerialPart PartOfMaker(uint8_t code, uint8_t amicCapacity) {
    switch (code) {
        case 0: return {4096, 32768, {0x00, 0x00, 0x00, 0x00}};
        case 1: return {4096, 32768, {0x7F, 0x9D, 0x7B, 0x00}};   // PMC Pm25LV512
        case 2: return {4096, 32768, {0xBF, 0x25, 0x8C, 0x00}};   // SST 25VF512
        case 3: return {32768, 65536, {0x20, 0x20, 0x10, 0x00}};  // ST M25P05
        case 4: return {32768, 65536, {0x1F, 0x65, 0x00, 0x00}};  // Atmel AT25F512
        case 5: return {4096, 65536, {0xC2, 0x20, 0x10, 0x00}};   // MXIC MX25L512
        case 6: return {4096, 65536, {0xEF, 0x30, 0x10, 0x00}};   // Winbond W25X05
        case 7: return {4096, 65536, {0x7F, 0x37, 0x20, amicCapacity}};  // AMIC A25L512
        case 8: return {32768, 65536, {0x1C, 0x31, 0x10, 0x00}};  // EON EN25F05
        default: return {4096, 65536, {0xFF, 0xFF, 0xFF, 0xFF}};
    }
}

void FitSerialFlash(DeviceDescription& d, const ProfileOptions& options) {
    const uint8_t code = options.amicFlash ? kAmicCode : options.flashVendorCode;
    const SerialPart part = PartOfMaker(code, options.amicCapacity);
    d.flashKind = FlashKind::Serial;
    d.flashSize = kFlashSize;
    d.flashVendorCode = code;
    d.jedecId = part.jedec;
    d.smallEraseUnit = part.smallUnit;
    d.largeEraseUnit = part.largeUnit;
    d.blockEraseUnit = 32768;
    const bool bootSectors = options.amicFlash && (options.amicCapacity == 0x10 || options.amicCapacity == 0x11 ||
                                                   options.amicCapacity == 0x12);
    if (bootSectors) d.blockEraseSectors = {0x0000, 0x1000, 0x3000, 0x7000, 0xF000};
}

void FitParallelFlash(DeviceDescription& d, const ProfileOptions& options) {
    d.flashKind = FlashKind::Parallel;
    d.flashSize = kFlashSize;
    d.parallelFlashType = options.parallelFlashType;
    d.flashVendorCode = 0;
    d.jedecId = {0xFF, 0xFF, 0xFF, 0xFF};
}

std::vector<uint8_t> ChipInformationBlock(int family, std::string_view model, uint8_t revisionChar,
                                          const ProfileOptions& options) {
    std::vector<uint8_t> block(options.sixteenByteInfo ? 16 : 12, 0);
    block[0] = 0xF4;
    block[1] = 0xE7;
    block[2] = 0x1E;
    block[3] = 0x3A;
    if (family == 18) {
        block[4] = 0x28;
        block[5] = 0x46;
    } else if (model.size() == 3) {  // product id 0x0NNN, the model's digits
        block[4] = static_cast<uint8_t>(model[0] - '0');
        block[5] = static_cast<uint8_t>((model[1] - '0') << 4 | (model[2] - '0'));
    }
    block[6] = options.version2[0];
    block[7] = options.version2[1];
    for (size_t i = 0; i < model.size() && i < 3; ++i) block[8 + i] = static_cast<uint8_t>(model[i]);
    block[11] = revisionChar;
    if (block.size() > 12) std::copy(options.version3.begin(), options.version3.end(), block.begin() + 12);
    return block;
}

std::vector<uint8_t> IdentificationString(std::string_view model, uint8_t revisionChar) {
    const char variant = model == "845" || model == "849" ? 'C' : 'A';
    std::vector<uint8_t> text(40, 0);
    // Appended piecewise: g++ 12 at -O3 warns falsely (-Wrestrict) on "literal" + std::string.
    std::string s = "c";
    s += model;
    s += variant;
    std::copy(s.begin(), s.end(), text.begin());
    text[s.size()] = revisionChar;
    return text;
}

void FitVxe720Memory(DeviceDescription& d, const ProfileOptions& options) {
    d.setMemory(0xFDB0, {0x00, static_cast<uint8_t>(options.fdb0AtLeastB4 ? 0xB4 : 0xA0), 0x00, 0x00});
    d.setMemory(0x505E, options.memory505eDirect ? std::vector<uint8_t>{0x00, 0x00, 0x01, 0x00}
                                                 : std::vector<uint8_t>{0x00, 0x01, 0x00, 0x00});
    d.setMemory(0x7058, {static_cast<uint8_t>(options.register7058Bit0 ? 0x01 : 0x00)});
}

}  // namespace

Route RouteFor(int family, Route wanted) {
    if (family >= 14 && family <= 17) return Route::IdWord;
    if (family == 18) return Route::InformationBlock;
    const bool hasString = family == 1 || family == 4 || family == 6 || family == 11;
    if (wanted == Route::IdWord || (wanted == Route::IdString && !hasString)) return Route::InquiryTag;
    return wanted;
}

DeviceDescription ProfileForFamily(int family, Route wanted, const ProfileOptions& options) {
    if (family < 1 || family > 18) throw std::invalid_argument("no bridge profile for family " + std::to_string(family));
    const Route route = RouteFor(family, wanted);
    const std::string_view model = kFamilies[family].model;
    const uint8_t revisionChar = family == 7 && options.revisionChar == '0' ? '1' : options.revisionChar;

    DeviceDescription d;
    d.profileName = "family " + std::to_string(family) + " by " + RouteName(route);
    std::string tag;
    if (route == Route::InquiryTag) tag.append("c").append(model);
    d.inquiry = InquiryData("Corvane ", kFamilies[family].product, "0107", tag, 56);
    d.controllerMemory.assign(kMemorySize, 0);
    d.timing = options.timing;

    switch (route) {
        case Route::InquiryTag:
        case Route::InformationBlock:
            d.chipInformation = ChipInformationBlock(family, model, revisionChar, options);
            if (family <= 13) d.idString = IdentificationString(model, revisionChar);
            break;
        case Route::IdString:
            d.chipInformation = ChipInformationBlock(family, "", '0', options);
            d.idString = IdentificationString(model, revisionChar);
            break;
        case Route::IdWord:
            d.idWord = {static_cast<uint8_t>((family - 14) << 5 | 0x01), 0x00};
            break;
    }

    if (family == 2 || family == 18) {
        FitParallelFlash(d, options);
    } else {
        FitSerialFlash(d, options);
    }
    if (family == 10) FitVxe720Memory(d, options);
    return d;
}

DeviceDescription Vxe720Enclosure(const ProfileOptions& options) {
    DeviceDescription d = ProfileForFamily(10, Route::InquiryTag, options);
    d.profileName = "VXE720 enclosure";
    return d;
}

DeviceDescription PlainUsbDisk() {
    DeviceDescription d;
    d.profileName = "plain USB disk";
    d.inquiry = InquiryData("Generic ", "Flash Disk      ", "8.07", "", 36);
    d.inquiry[1] = 0x80;  // removable medium
    d.answersVendorCommands = false;
    d.flashSize = 0;
    return d;
}

}  // namespace sim
