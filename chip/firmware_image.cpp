#include "chip/firmware_image.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/platform.h"

namespace vxe {
namespace {

using Record = std::array<uint8_t, TagBlockSize>;

// The image tag as text: four characters; a zero byte ends it early.
using TagText = std::array<char, ImageTagSize + 1>;

constexpr std::array<uint8_t, 4> kRT71845Rev1Tag{0x5A, 0xA5, 0x0F, 0xF0};
constexpr std::array<uint8_t, 2> kKSV819Marker{0x55, 0xAA};

// A firmware file opened for reading raw bytes. Records are read at fixed
// offsets; bytes beyond the end of the file count as zero, so a short file
// simply does not match a tag. The stream closes with the object.
class FirmwareFile {
public:
    explicit FirmwareFile(const char* path) {
        if (path == nullptr) return;
        // Only a regular file (or a link to one) is read. A directory opens
        // on some systems and then fails every read; opening a FIFO blocks
        // until something writes into it, and a device node is no firmware
        // file either. Each counts as the unopenable file it is.
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) return;
        stream_.open(path, std::ios::binary);
        if (!stream_.is_open()) return;
        stream_.seekg(0, std::ios::end);
        const std::streamoff end = stream_.tellg();
        if (end < 0) {
            failed_ = true;
            return;
        }
        size_ = static_cast<uint64_t>(end);
    }

    bool isOpen() const { return stream_.is_open(); }
    bool isEmpty() const { return size_ == 0; }
    bool failed() const { return failed_; }

    Record readRecord(uint32_t offset) {
        Record record{};
        if (failed_ || offset >= size_) return record;
        stream_.clear();
        stream_.seekg(static_cast<std::streamoff>(offset));
        stream_.read(reinterpret_cast<char*>(record.data()), static_cast<std::streamsize>(record.size()));
        if (stream_.bad()) failed_ = true;
        return record;
    }

private:
    std::ifstream stream_;
    uint64_t size_ = 0;
    bool failed_ = false;
};

TagText TagOf(const Record& record) {
    TagText tag{};
    std::copy_n(record.begin() + ImageTagOffset, ImageTagSize, tag.begin());
    return tag;
}

bool HasTagBlockMarker(const Record& record) {
    return std::equal(TagBlockMarker.begin(), TagBlockMarker.end(), record.begin());
}

// Compares at most `count` characters, stopping at a zero byte.
bool TextEquals(const char* text, const char* expected, size_t count) {
    return std::strncmp(text, expected, count) == 0;
}

// The short form of a model followed by the digit of the chip revision:
// "845" and revision 2 give "8451".
TagText ModelWithRevision(const char* model, uint8_t revision) {
    TagText tag{};
    std::copy_n(model, 3, tag.begin());
    tag[3] = static_cast<char>('0' + revision - 1);
    return tag;
}

bool IsTagBlockFamily(uint8_t family) { return family == 6 || family == 8 || family == 9 || family == 10; }

int Decide(uint8_t family, uint8_t revision, const Record& record, const TagText& tag) {
    switch (family) {
        case 1:  // RT71845 Series
            if (revision == 1) {
                return std::equal(kRT71845Rev1Tag.begin(), kRT71845Rev1Tag.end(), record.begin() + ImageTagOffset);
            }
            return TextEquals(tag.data(), ModelWithRevision("845", revision).data(), 4);
        case 2:   // RT71846 Series
        case 18:  // RT71846
            return !TextEquals(tag.data(), "84", 2);
        case 3:   // RT71847 Series
        case 14:  // RT71847
        case 15:  // RT71848
        case 16:  // RT71849
        case 17:  // RT71845
            return 1;
        case 4:  // RT71849 Series
            return TextEquals(tag.data(), ModelWithRevision("849", revision).data(), 4);
        case 6: {  // KSV652 Series: the revision character is the digit of revision - 1, 0x00 for revision 1
            uint8_t digit = record[TagRevisionOffset];
            if (digit != 0) digit = static_cast<uint8_t>(digit - 0x30);
            return static_cast<int>(digit) == static_cast<int>(revision) - 1;  // revision 0 never fits
        }
        case 7: {  // KSV653 Series: marker and tag compared as one 8-byte text
            const char* expected = nullptr;
            if (revision == 1) expected = "\x55\xAA\xAA\x55"
                                          "c653";
            if (revision == 2) expected = "\x55\xAA\xAA\x55"
                                          "6531";
            return expected != nullptr && TextEquals(reinterpret_cast<const char*>(record.data()), expected, 8);
        }
        case 8:  // KSV655 Series: its files carry the KSV656 tag
        case 9:  // KSV656 Series
            return TextEquals(tag.data(), "656", 3);
        case 10:  // VXE731/720 Series
            return TextEquals(tag.data(), "731", 3);
        case 11:  // KSV819 Series
            return TextEquals(tag.data(), "819", 3);
        default:  // 0 unknown, 5, 12, 13 and anything unassigned
            return 0;
    }
}

}  // namespace

uint32_t LoadEmbeddedImage(std::span<uint8_t> destination, uint32_t offset, uint32_t length) {
    const std::span<const uint8_t> image = CurrentPlatform().findResource(EmbeddedImageName, EmbeddedImageType);
    if (image.empty()) return 0;
    const uint64_t size = image.size();
    if (offset >= size) return static_cast<uint32_t>(size);

    uint64_t count = size - offset;  // length 0, or a range past the end: up to the end of the image
    if (length != 0 && uint64_t{offset} + length <= size) count = length;

    // Copy only what fits the destination; callers size it for the whole
    // image, and a smaller one must not be overrun.
    if (offset >= destination.size()) return static_cast<uint32_t>(size);
    count = std::min<uint64_t>(count, destination.size() - offset);
    std::copy_n(image.begin() + offset, count, destination.begin() + offset);
    return static_cast<uint32_t>(size);
}

bool HasHeaderSignature(std::span<const uint8_t> buffer, int n) {
    if (n < 2 || static_cast<size_t>(n) > buffer.size()) return false;
    return buffer[n - 2] == HeaderSignature[0] && buffer[n - 1] == HeaderSignature[1];
}

int CheckFirmwareFile(const char* path, uint16_t chipId) {
    const uint8_t family = static_cast<uint8_t>(chipId & 0xFF);
    const uint8_t revision = static_cast<uint8_t>(chipId >> 8);

    Record record{};
    TagText tag{};
    {
        FirmwareFile file(path);
        if (!file.isOpen()) {
            CurrentPlatform().messageBox("Open Firmware File Error!!", "Error", MessageIcon::None);
            return 0;
        }
        // An empty file opens but holds no firmware for any chip; flashing it
        // would only erase the device.
        if (file.isEmpty()) return 0;

        if (family == 11) {
            record = file.readRecord(KSV819TagBlockOffset);
            if (!std::equal(kKSV819Marker.begin(), kKSV819Marker.end(), record.begin())) return 0;
        } else {
            record = file.readRecord(FirstTagBlockOffset);
        }
        tag = TagOf(record);

        // A tag block at 0 must name this family; without one there, the
        // block at 0x1000 is read instead and, when it has a marker, must.
        if (IsTagBlockFamily(family)) {
            if (HasTagBlockMarker(record)) {
                if (!TextEquals(tag.data(), ChipTagTable[family], 3)) return 0;
            } else {
                record = file.readRecord(SecondTagBlockOffset);
                if (HasTagBlockMarker(record)) {
                    tag = TagOf(record);
                    if (!TextEquals(tag.data(), ChipTagTable[family], 3)) return 0;
                }
                // No marker there either: the tag from offset 0 stays, the
                // record from 0x1000 is the one judged below.
            }
        }
        if (file.failed()) return 0;
    }  // the file is closed here, before the decision

    return Decide(family, revision, record, tag);
}

}  // namespace vxe
