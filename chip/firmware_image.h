// The layout of a firmware image, as far as the utility reads or changes it,
// and the three operations on images: copying parts of the built-in image,
// recognising a valid configuration header, and deciding whether a firmware
// file fits an identified controller.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace vxe {

// `FirmwareHeader`: the controller's configuration header, the first 128
// bytes of an image or of the flash.
inline constexpr uint32_t FirmwareHeaderSize = 128;

// `HeaderFlags`: configuration bits inside the header.
inline constexpr uint32_t HeaderFlagsOffset = 0x2F;

// `HeaderSignature`: "CV" in the last two header bytes marks a valid header.
inline constexpr uint32_t HeaderSignatureOffset = 0x7E;
inline constexpr std::array<uint8_t, 2> HeaderSignature{0x43, 0x56};

// The image built into the program.
inline constexpr std::string_view EmbeddedImageName = "VXE720FW";
inline constexpr std::string_view EmbeddedImageType = "FW";

// `TagBlock`: a marker, the `ImageTag` naming the chip model the image is for,
// and a revision character used by the KSV652 family.
inline constexpr uint32_t TagBlockSize = 10;
inline constexpr std::array<uint8_t, 4> TagBlockMarker{0x55, 0xAA, 0xAA, 0x55};
inline constexpr uint32_t ImageTagOffset = 4;  // within the tag block
inline constexpr uint32_t ImageTagSize = 4;
inline constexpr uint32_t TagRevisionOffset = 8;  // within the tag block

// Where tag blocks sit in a file.
inline constexpr uint32_t FirstTagBlockOffset = 0x0000;
inline constexpr uint32_t SecondTagBlockOffset = 0x1000;
inline constexpr uint32_t KSV819TagBlockOffset = 0x4000;  // family 11; only 55 AA is required there

// `ChipTagTable`: the model's 3-character short form by chip family, each row
// a zero-padded 10-byte field.
inline constexpr uint32_t ChipTagRowSize = 10;
inline constexpr uint32_t ChipTagRowCount = 19;
inline constexpr char ChipTagTable[ChipTagRowCount][ChipTagRowSize] = {
    "",    "845", "846", "847", "849", "839", "652", "653", "656", "656",
    "731", "819", "809", "720", "847", "848", "849", "845", "846",
};

// Copies the built-in image's bytes [offset, offset + length) into
// `destination` at the same offset; length 0 means up to the end of the image.
// Returns the image size, 0 when the program carries no image (then nothing
// is copied).
uint32_t LoadEmbeddedImage(std::span<uint8_t> destination, uint32_t offset, uint32_t length);

// True when buffer[n - 2], buffer[n - 1] hold `HeaderSignature`; false when n
// does not lie inside the buffer.
bool HasHeaderSignature(std::span<const uint8_t> buffer, int n);

// 1 when the firmware file at `path` fits the chip identified as `chipId`
// (revision << 8 | family), 0 when it does not or cannot be read. A file that
// cannot be opened is reported to the user in a message box.
int CheckFirmwareFile(const char* path, uint16_t chipId);

}  // namespace vxe
