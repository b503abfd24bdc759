// Writes the firmware image that the utility carries inside itself
// (resources/vxe720fw.bin). The image is a VXE731/720-family image of
// 36,940 bytes:
//
//   0x0000..0x007F  configuration header, flags byte 0x34 at 0x2F, "CV" at 0x7E
//   0x0080..0x0DFF  erased (0xFF) apart from four text characters at 0x0088
//   0x0E00..0x0EFF  identification block of 16-byte zero-padded text fields
//   0x0F00..0x0FFF  zeros
//   0x1000..0x1009  tag block: 55 AA AA 55, "7311", 80 00
//   0x100A..0x904B  controller program; the last two bytes are 55 AA
//
// The program bytes are opaque to the utility, so they come from a fixed-seed
// generator: the output is the same on every machine and every run.
//
// Usage: make_firmware_image <output.bin>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string_view>
#include <vector>

namespace {

constexpr size_t kImageSize = 36940;
constexpr size_t kHeaderSize = 128;
constexpr size_t kFlagsOffset = 0x2F;
constexpr uint8_t kFlags = 0x34;
constexpr size_t kBodyTextOffset = 0x0088;
constexpr size_t kIdentificationOffset = 0x0E00;
constexpr size_t kIdentificationFieldSize = 16;
constexpr size_t kZeroAreaOffset = 0x0F00;
constexpr size_t kTagBlockOffset = 0x1000;
constexpr size_t kProgramOffset = 0x100A;

constexpr uint16_t kUsbVendorId = 0x3C1D;
constexpr uint16_t kUsbProductId = 0x0720;

// Header bytes other than the IDs, the flags and the signature. The values
// are a plausible enclosure configuration; the utility never interprets them.
struct HeaderByte {
    size_t offset;
    uint8_t value;
};
constexpr std::array<HeaderByte, 14> kHeaderBytes{{
    {0x04, 0x01},  // configuration revision
    {0x05, 0x10},  // USB release 1.0 (BCD, low byte)
    {0x06, 0x03},  // manufacturer string index
    {0x07, 0x04},  // product string index
    {0x08, 0x05},  // serial string index
    {0x09, 0x20},  // SATA link: generation limit
    {0x0A, 0x32},  // maximum power, 2 mA units (100 mA)
    {0x0B, 0x80},  // bus-powered attributes
    {0x0D, 0x02},  // LED mode
    {0x2E, 0x0F},  // spin-up timeout, seconds
    {0x31, 0x01},  // UAS enabled
    {0x51, 0x00},  // standby timer off
    {0x52, 0x0A},  // link power management delay
    {0x55, 0x01},  // write cache on
}};

constexpr std::string_view kBodyText = "VX72";

constexpr std::array<std::string_view, 8> kIdentificationFields{
    "VXE720 ",          // model
    "255.00.03.00.07",  // firmware version
    "Corvane",          // maker
    "VXE720 A0/A1/Bx",  // chip and silicon revisions
    "USB3 to SATA",     // notes
    "UAS + BOT",
    "SPI NOR boot",
    "2024-03-18",  // build date
};

constexpr bool FieldsFit() {
    for (std::string_view field : kIdentificationFields) {
        if (field.size() >= kIdentificationFieldSize) return false;  // keep a terminating zero
    }
    return kIdentificationOffset + kIdentificationFields.size() * kIdentificationFieldSize <= kZeroAreaOffset;
}
static_assert(FieldsFit());

constexpr std::array<uint8_t, 10> kTagBlock{0x55, 0xAA, 0xAA, 0x55, '7', '3', '1', '1', 0x80, 0x00};
constexpr std::array<uint8_t, 2> kImageTrailer{0x55, 0xAA};

// xorshift32: tiny, fixed and portable.
class ProgramBytes {
public:
    uint8_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<uint8_t>(state_ >> 24);
    }

private:
    uint32_t state_ = 0x0720C0DE;
};

void Put(std::vector<uint8_t>& image, size_t offset, std::string_view text) {
    std::memcpy(image.data() + offset, text.data(), text.size());
}

std::vector<uint8_t> BuildImage() {
    std::vector<uint8_t> image(kImageSize, 0x00);

    // Header
    image[0] = static_cast<uint8_t>(kUsbVendorId & 0xFF);
    image[1] = static_cast<uint8_t>(kUsbVendorId >> 8);
    image[2] = static_cast<uint8_t>(kUsbProductId & 0xFF);
    image[3] = static_cast<uint8_t>(kUsbProductId >> 8);
    for (const HeaderByte& b : kHeaderBytes) image[b.offset] = b.value;
    image[kFlagsOffset] = kFlags;
    image[kHeaderSize - 2] = 'C';
    image[kHeaderSize - 1] = 'V';

    // Erased area with its four characters
    std::fill(image.begin() + kHeaderSize, image.begin() + kIdentificationOffset, 0xFF);
    Put(image, kBodyTextOffset, kBodyText);

    // Identification block; the rest of it and the area up to 0x1000 stay zero.
    for (size_t i = 0; i < kIdentificationFields.size(); ++i) {
        Put(image, kIdentificationOffset + i * kIdentificationFieldSize, kIdentificationFields[i]);
    }

    std::copy(kTagBlock.begin(), kTagBlock.end(), image.begin() + kTagBlockOffset);

    ProgramBytes program;
    for (size_t i = kProgramOffset; i < kImageSize - kImageTrailer.size(); ++i) image[i] = program.next();
    std::copy(kImageTrailer.begin(), kImageTrailer.end(), image.end() - kImageTrailer.size());
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_firmware_image <output.bin>\n");
        return 2;
    }
    const std::vector<uint8_t> image = BuildImage();
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_firmware_image: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
