#include "chip/firmware_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/embedded_resources.h"
#include "tests/support/simulated_machine.h"

namespace vxe {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kImageSize = 36940;

std::vector<uint8_t> BuiltInImage() {
    const std::span<const uint8_t> image = FindBuiltInResource("VXE720FW", "FW");
    return {image.begin(), image.end()};
}

std::string TextAt(const std::vector<uint8_t>& bytes, size_t offset, size_t size) {
    return {bytes.begin() + offset, bytes.begin() + offset + size};
}

std::string Padded(std::string_view text, size_t size) {
    std::string field(text);
    field.resize(size, '\0');
    return field;
}

// A firmware file under construction: zero bytes with fields put in place.
class FileBytes {
public:
    explicit FileBytes(size_t size) : bytes_(size, 0) {}
    FileBytes& put(size_t offset, std::initializer_list<uint8_t> values) {
        std::copy(values.begin(), values.end(), bytes_.begin() + offset);
        return *this;
    }
    FileBytes& put(size_t offset, std::string_view text) {
        std::copy(text.begin(), text.end(), bytes_.begin() + offset);
        return *this;
    }
    // Marker, then the tag text and the revision byte.
    FileBytes& tagBlock(size_t offset, std::string_view tag, uint8_t revision = 0) {
        put(offset, {0x55, 0xAA, 0xAA, 0x55});
        put(offset + 4, tag);
        bytes_[offset + 8] = revision;
        return *this;
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

uint16_t Chip(uint8_t family, uint8_t revision = 0) { return static_cast<uint16_t>(revision << 8 | family); }

class FirmwareFileCheck : public ::testing::Test {
protected:
    FirmwareFileCheck() {
        // Other builds may run the same test at the same time: the name alone is not unique.
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("vxe_image_test_" +
                                            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                                            "_" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(dir_);
    }
    ~FirmwareFileCheck() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::string write(const std::vector<uint8_t>& bytes) {
        const fs::path path = dir_ / ("fw" + std::to_string(files_++) + ".bin");
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    std::string write(const FileBytes& file) { return write(file.bytes()); }

    int check(const FileBytes& file, uint16_t chipId) { return CheckFirmwareFile(write(file).c_str(), chipId); }

    const std::vector<RecordedMessage>& messages() { return machine_.platform.messages(); }

    test::SimulatedMachine machine_;
    fs::path dir_;
    int files_ = 0;
};

// ---------------------------------------------------------------------------
// The image the program carries

TEST(EmbeddedImage, HeaderAndErasedAreaAreLaidOutAsTheControllerExpects) {
    const std::vector<uint8_t> image = BuiltInImage();
    ASSERT_EQ(image.size(), kImageSize);
    EXPECT_EQ(image[HeaderFlagsOffset], 0x34);
    EXPECT_EQ(TextAt(image, 0x7E, 2), "CV");
    // Real vendor and product IDs, and no tag block at the start.
    EXPECT_NE(image[0] | image[1] << 8, 0);
    EXPECT_NE(image[2] | image[3] << 8, 0);
    EXPECT_NE(TextAt(image, 0, 4), "\x55\xAA\xAA\x55");
    for (size_t i = 0x0080; i < 0x0E00; ++i) {
        const bool text = i >= 0x0088 && i < 0x008C;
        ASSERT_TRUE(text ? (image[i] >= 0x20 && image[i] < 0x7F) : image[i] == 0xFF) << "offset " << i;
    }
}

TEST(EmbeddedImage, IdentificationTagBlockAndTrailerSitWhereTheyBelong) {
    const std::vector<uint8_t> image = BuiltInImage();
    ASSERT_EQ(image.size(), kImageSize);
    EXPECT_EQ(TextAt(image, 0x0E00, 16), Padded("VXE720 ", 16));
    EXPECT_EQ(TextAt(image, 0x0E10, 16), Padded("255.00.03.00.07", 16));
    EXPECT_EQ(TextAt(image, 0x0E20, 16), Padded("Corvane", 16));
    EXPECT_EQ(TextAt(image, 0x0E30, 16), Padded("VXE720 A0/A1/Bx", 16));
    // Notes and the date follow as further fields: printable text, then zeros.
    ASSERT_NE(image[0x0E40], 0);
    for (size_t field = 0x0E40; field < 0x0F00; field += 16) {
        const std::string text = TextAt(image, field, 16);
        const size_t end = std::min(text.find('\0'), text.size());
        EXPECT_LT(end, 16u) << "field at " << field << " is not terminated";
        EXPECT_TRUE(std::all_of(text.begin(), text.begin() + end, [](char c) { return c >= 0x20 && c < 0x7F; }));
        EXPECT_TRUE(std::all_of(text.begin() + end, text.end(), [](char c) { return c == 0; }));
    }
    EXPECT_TRUE(std::all_of(image.begin() + 0x0F00, image.begin() + 0x1000, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(TextAt(image, 0x1000, 10), std::string("\x55\xAA\xAA\x55" "7311\x80", 9) + '\0');
    EXPECT_EQ(TextAt(image, 0x904A, 2), "\x55\xAA");
}

TEST_F(FirmwareFileCheck, EmbeddedImageFitsTheVxe720FamilyOnly) {
    const std::string path = write(BuiltInImage());
    EXPECT_EQ(CheckFirmwareFile(path.c_str(), Chip(10)), 1);
    EXPECT_EQ(CheckFirmwareFile(path.c_str(), Chip(10, 9)), 1);
    for (uint8_t family : {6, 8, 9}) {
        for (uint8_t revision : {0, 1, 2}) {
            EXPECT_EQ(CheckFirmwareFile(path.c_str(), Chip(family, revision)), 0)
                << "family " << int{family} << " revision " << int{revision};
        }
    }
    EXPECT_TRUE(messages().empty());
}

// ---------------------------------------------------------------------------
// Copying from the built-in image

class EmbeddedImageLoad : public ::testing::Test {
protected:
    test::SimulatedMachine machine_;
    std::vector<uint8_t> image_ = BuiltInImage();
};

TEST_F(EmbeddedImageLoad, WholeImageLandsAtTheStartOfAZeroBuffer) {
    std::vector<uint8_t> buffer(0x10000, 0);
    EXPECT_EQ(LoadEmbeddedImage(buffer, 0, 0), kImageSize);
    EXPECT_TRUE(std::equal(image_.begin(), image_.end(), buffer.begin()));
    EXPECT_TRUE(std::all_of(buffer.begin() + kImageSize, buffer.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(EmbeddedImageLoad, BodyOnlyKeepsTheHeaderAlreadyInTheBuffer) {
    std::vector<uint8_t> buffer(0x10000, 0xEE);
    EXPECT_EQ(LoadEmbeddedImage(buffer, 128, 0), kImageSize);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.begin() + 128, [](uint8_t b) { return b == 0xEE; }));
    EXPECT_TRUE(std::equal(image_.begin() + 128, image_.end(), buffer.begin() + 128));  // 36,812 bytes
    EXPECT_TRUE(std::all_of(buffer.begin() + kImageSize, buffer.end(), [](uint8_t b) { return b == 0xEE; }));
}

TEST_F(EmbeddedImageLoad, HeaderOnlyCopiesExactly128Bytes) {
    std::vector<uint8_t> buffer(0x10000, 0xEE);
    EXPECT_EQ(LoadEmbeddedImage(buffer, 0, 128), kImageSize);
    EXPECT_TRUE(std::equal(image_.begin(), image_.begin() + 128, buffer.begin()));
    EXPECT_TRUE(std::all_of(buffer.begin() + 128, buffer.end(), [](uint8_t b) { return b == 0xEE; }));
}

TEST_F(EmbeddedImageLoad, RangeRunningPastTheEndCopiesUpToTheEnd) {
    machine_.platform.setResource("VXE720FW", "FW", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    std::vector<uint8_t> buffer(16, 0);
    EXPECT_EQ(LoadEmbeddedImage(buffer, 2, 3), 10u);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0, 0, 3, 4, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    std::fill(buffer.begin(), buffer.end(), 0);
    EXPECT_EQ(LoadEmbeddedImage(buffer, 6, 100), 10u);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 7, 8, 9, 10, 0, 0, 0, 0, 0, 0}));

    // An offset + length that wraps around 32 bits is still past the end.
    std::fill(buffer.begin(), buffer.end(), 0);
    EXPECT_EQ(LoadEmbeddedImage(buffer, 8, 0xFFFFFFFF), 10u);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 9, 10, 0, 0, 0, 0, 0, 0}));
}

TEST_F(EmbeddedImageLoad, MissingImageReportsZeroAndLeavesTheDestinationAlone) {
    machine_.platform.hideResource("VXE720FW", "FW");
    std::vector<uint8_t> buffer(0x10000, 0xEE);
    EXPECT_EQ(LoadEmbeddedImage(buffer, 0, 0), 0u);
    EXPECT_EQ(LoadEmbeddedImage(buffer, 128, 0), 0u);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0xEE; }));
}

TEST_F(EmbeddedImageLoad, SmallDestinationIsNeverOverrun) {
    std::vector<uint8_t> storage(0x10000, 0xEE);
    const std::span<uint8_t> destination(storage.data(), 4096);
    EXPECT_EQ(LoadEmbeddedImage(destination, 0, 0), kImageSize);
    EXPECT_TRUE(std::equal(image_.begin(), image_.begin() + 4096, storage.begin()));
    EXPECT_TRUE(std::all_of(storage.begin() + 4096, storage.end(), [](uint8_t b) { return b == 0xEE; }));

    // An offset beyond the destination copies nothing and still reports the size.
    std::fill(storage.begin(), storage.end(), 0xEE);
    EXPECT_EQ(LoadEmbeddedImage(destination, 8192, 0), kImageSize);
    EXPECT_TRUE(std::all_of(storage.begin(), storage.end(), [](uint8_t b) { return b == 0xEE; }));
    EXPECT_EQ(LoadEmbeddedImage({}, 0, 0), kImageSize);
}

// ---------------------------------------------------------------------------
// Telling a valid header from erased or foreign flash

TEST(HeaderSignature, OnlyCvInTheLastTwoBytesInsideTheBufferCounts) {
    std::vector<uint8_t> buffer(130, 0xFF);
    const std::span<const uint8_t> header(buffer.data(), 128);
    EXPECT_FALSE(HasHeaderSignature(header, 128));  // erased flash
    buffer[126] = 'V';
    buffer[127] = 'C';
    EXPECT_FALSE(HasHeaderSignature(header, 128));
    buffer[126] = 'C';
    buffer[127] = 'V';
    EXPECT_TRUE(HasHeaderSignature(header, 128));
    EXPECT_FALSE(HasHeaderSignature(header, 127));
    // Lengths outside the buffer never read past it.
    buffer[128] = 'C';
    buffer[129] = 'V';
    for (int n : {130, 1, 0, -1}) EXPECT_FALSE(HasHeaderSignature(header, n)) << n;
    EXPECT_FALSE(HasHeaderSignature({}, 2));
}

// ---------------------------------------------------------------------------
// Files that cannot be read

TEST_F(FirmwareFileCheck, MissingFileIsReportedOncePerCall) {
    const std::string missing = (dir_ / "no such file.bin").string();
    for (uint16_t chipId : {Chip(10), Chip(0), Chip(3)}) {
        EXPECT_EQ(CheckFirmwareFile(missing.c_str(), chipId), 0);
    }
    ASSERT_EQ(messages().size(), 3u);
    for (const RecordedMessage& message : messages()) {
        EXPECT_EQ(message.text, "Open Firmware File Error!!");
        EXPECT_EQ(message.caption, "Error");
        EXPECT_EQ(message.icon, MessageIcon::None);
    }
}

TEST_F(FirmwareFileCheck, DirectoryCountsAsUnopenable) {
    EXPECT_EQ(CheckFirmwareFile(dir_.string().c_str(), Chip(3)), 0);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].text, "Open Firmware File Error!!");
}

TEST_F(FirmwareFileCheck, EmptyFileFitsNoChipAndIsNotAnOpenError) {
    const FileBytes empty(0);
    for (uint8_t family = 0; family <= 18; ++family) {
        EXPECT_EQ(check(empty, Chip(family, 1)), 0) << "family " << int{family};
    }
    EXPECT_TRUE(messages().empty());
}

TEST_F(FirmwareFileCheck, ShortFileReadsMissingBytesAsZero) {
    // A complete tag at bytes 4..7 but no revision byte: counts as 0x00.
    FileBytes shortKsv652(8);
    shortKsv652.put(0, {0x55, 0xAA, 0xAA, 0x55}).put(4, "6520");
    EXPECT_EQ(check(shortKsv652, Chip(6, 1)), 1);
    EXPECT_EQ(check(shortKsv652, Chip(6, 2)), 0);

    // A tag cut short does not match.
    FileBytes cut(6);
    cut.put(0, {0x55, 0xAA, 0xAA, 0x55}).put(4, "73");
    EXPECT_EQ(check(cut, Chip(10)), 0);
    EXPECT_EQ(check(FileBytes(3).put(0, {0x55, 0xAA, 0xAA}), Chip(10)), 0);

    // Nothing at 0x4000 in a small file.
    EXPECT_EQ(check(FileBytes(0x100).tagBlock(0, "819"), Chip(11)), 0);
    // Any readable byte is enough where any file fits.
    EXPECT_EQ(check(FileBytes(1), Chip(3)), 1);
    EXPECT_TRUE(messages().empty());
}

// ---------------------------------------------------------------------------
// Tag-block families: 6, 8, 9, 10

TEST_F(FirmwareFileCheck, TagBlockIsFoundAtStartOrAtFourKilobytes) {
    EXPECT_EQ(check(FileBytes(0x2000).tagBlock(0, "7311"), Chip(10)), 1);
    EXPECT_EQ(check(FileBytes(0x2000).tagBlock(0x1000, "7311"), Chip(10)), 1);
    EXPECT_EQ(check(FileBytes(0x2000).tagBlock(0x1000, "731"), Chip(10)), 1);  // only 3 characters count
    EXPECT_EQ(check(FileBytes(0x2000), Chip(10)), 0);                          // no tag anywhere
    EXPECT_EQ(check(FileBytes(0x2000).tagBlock(0x1000, "7201"), Chip(10)), 0);
}

TEST_F(FirmwareFileCheck, TagBlockAtStartDecidesEvenWhenFourKilobytesWouldFit) {
    FileBytes file(0x2000);
    file.tagBlock(0, "8451").tagBlock(0x1000, "7311");
    EXPECT_EQ(check(file, Chip(10)), 0);
}

TEST_F(FirmwareFileCheck, TagWithoutMarkerAtStartStillDecidesWhenFourKilobytesHasNone) {
    // No marker anywhere: the tag read at bytes 4..7 is judged.
    EXPECT_EQ(check(FileBytes(0x2000).put(4, "7311"), Chip(10)), 1);
    EXPECT_EQ(check(FileBytes(0x2000).put(4, "6561"), Chip(9)), 1);
    EXPECT_EQ(check(FileBytes(0x2000).put(4, "6561"), Chip(10)), 0);
}

TEST_F(FirmwareFileCheck, Ksv655FilesCarryTheKsv656Tag) {
    EXPECT_EQ(check(FileBytes(0x2000).tagBlock(0x1000, "6561"), Chip(8)), 1);
    EXPECT_EQ(check(FileBytes(0x2000).tagBlock(0x1000, "6551"), Chip(8)), 0);
    EXPECT_EQ(check(FileBytes(0x2000).tagBlock(0, "6561"), Chip(9)), 1);
    EXPECT_EQ(check(FileBytes(0x2000).tagBlock(0, "6551"), Chip(9)), 0);
}

TEST_F(FirmwareFileCheck, Ksv652RevisionByteMustMatchTheChipRevision) {
    FileBytes revisionTwo(0x2000);
    revisionTwo.tagBlock(0x1000, "6521", '1');
    EXPECT_EQ(check(revisionTwo, Chip(6, 2)), 1);
    EXPECT_EQ(check(revisionTwo, Chip(6, 1)), 0);

    FileBytes revisionOne(0x2000);
    revisionOne.tagBlock(0x1000, "6521", 0x00);
    EXPECT_EQ(check(revisionOne, Chip(6, 1)), 1);
    EXPECT_EQ(check(revisionOne, Chip(6, 2)), 0);

    EXPECT_EQ(check(FileBytes(0x2000).tagBlock(0, "6521", '2'), Chip(6, 3)), 1);
    EXPECT_EQ(check(FileBytes(0x2000).tagBlock(0, "6561", '1'), Chip(6, 2)), 0);  // wrong model
}

TEST_F(FirmwareFileCheck, Ksv652WithRevisionZeroNeverFits) {
    for (uint8_t revisionByte : {0x00, 0x2F, 0x30, 0xFF}) {
        EXPECT_EQ(check(FileBytes(0x2000).tagBlock(0x1000, "6521", revisionByte), Chip(6, 0)), 0)
            << "revision byte " << int{revisionByte};
    }
}

// ---------------------------------------------------------------------------
// Families that read the tag at bytes 4..7 without a marker

TEST_F(FirmwareFileCheck, Rt71845NeedsTheRevisionOneTagOrModelAndDigit) {
    FileBytes revisionOne(0x100);
    revisionOne.put(4, {0x5A, 0xA5, 0x0F, 0xF0});
    EXPECT_EQ(check(revisionOne, Chip(1, 1)), 1);
    EXPECT_EQ(check(revisionOne, Chip(1, 2)), 0);

    EXPECT_EQ(check(FileBytes(0x100).put(4, "8451"), Chip(1, 2)), 1);
    EXPECT_EQ(check(FileBytes(0x100).put(4, "8451"), Chip(1, 1)), 0);
    EXPECT_EQ(check(FileBytes(0x100).put(4, "8452"), Chip(1, 2)), 0);
    EXPECT_EQ(check(FileBytes(0x100).put(4, "8453"), Chip(1, 4)), 1);
    EXPECT_EQ(check(FileBytes(0x100).put(4, "845"), Chip(1, 2)), 0);
}

TEST_F(FirmwareFileCheck, Rt71849NeedsModelAndRevisionDigit) {
    EXPECT_EQ(check(FileBytes(0x100).put(4, "8490"), Chip(4, 1)), 1);
    EXPECT_EQ(check(FileBytes(0x100).put(4, "8491"), Chip(4, 2)), 1);
    EXPECT_EQ(check(FileBytes(0x100).put(4, "8491"), Chip(4, 1)), 0);
    EXPECT_EQ(check(FileBytes(0x100).put(4, "8451"), Chip(4, 2)), 0);
}

TEST_F(FirmwareFileCheck, Rt71846RefusesFilesTaggedForThe84xModels) {
    for (uint8_t family : {2, 18}) {
        EXPECT_EQ(check(FileBytes(0x100).put(4, "8461"), Chip(family)), 0);
        EXPECT_EQ(check(FileBytes(0x100).put(4, "84"), Chip(family)), 0);
        EXPECT_EQ(check(FileBytes(0x100).put(4, "8361"), Chip(family)), 1);
        EXPECT_EQ(check(FileBytes(10), Chip(family)), 1);
    }
}

TEST_F(FirmwareFileCheck, Ksv819NeedsItsMarkerAtSixteenKilobytes) {
    FileBytes fits(0x8000);
    fits.put(0x4000, {0x55, 0xAA}).put(0x4004, "8191");
    EXPECT_EQ(check(fits, Chip(11, 2)), 1);

    FileBytes wrongModel(0x8000);
    wrongModel.put(0x4000, {0x55, 0xAA}).put(0x4004, "8091");
    EXPECT_EQ(check(wrongModel, Chip(11, 2)), 0);

    // Whatever offset 0 holds, no marker at 0x4000 means no fit.
    FileBytes noMarker(0x8000);
    noMarker.tagBlock(0, "8191").put(0x4004, "8191");
    EXPECT_EQ(check(noMarker, Chip(11, 2)), 0);
}

TEST_F(FirmwareFileCheck, Ksv653ComparesMarkerAndTagAsOneField) {
    EXPECT_EQ(check(FileBytes(0x100).tagBlock(0, "c653"), Chip(7, 1)), 1);
    EXPECT_EQ(check(FileBytes(0x100).tagBlock(0, "6531"), Chip(7, 2)), 1);
    EXPECT_EQ(check(FileBytes(0x100).tagBlock(0, "6531"), Chip(7, 1)), 0);
    EXPECT_EQ(check(FileBytes(0x100).tagBlock(0, "c653"), Chip(7, 2)), 0);
    EXPECT_EQ(check(FileBytes(0x100).put(4, "c653"), Chip(7, 1)), 0);  // no marker
    for (uint8_t revision : {0, 3, 9}) {
        EXPECT_EQ(check(FileBytes(0x100).tagBlock(0, "c653"), Chip(7, revision)), 0);
        EXPECT_EQ(check(FileBytes(0x100).tagBlock(0, "6531"), Chip(7, revision)), 0);
    }
}

// ---------------------------------------------------------------------------
// Families decided without looking at the file

TEST_F(FirmwareFileCheck, SomeFamiliesNeverFitAndSomeAlwaysFit) {
    FileBytes embeddedLike(0x2000);
    embeddedLike.tagBlock(0x1000, "7311");
    for (uint8_t family : {0, 5, 12, 13, 19, 0xFF}) {
        EXPECT_EQ(check(embeddedLike, Chip(family, 1)), 0) << "family " << int{family};
        EXPECT_EQ(check(FileBytes(0x100).put(4, "8391"), Chip(family, 1)), 0) << "family " << int{family};
    }
    for (uint8_t family : {3, 14, 15, 16, 17}) {
        EXPECT_EQ(check(embeddedLike, Chip(family)), 1) << "family " << int{family};
        EXPECT_EQ(check(FileBytes(0x100).put(4, "8451"), Chip(family, 7)), 1) << "family " << int{family};
    }
    EXPECT_TRUE(messages().empty());
}

}  // namespace
}  // namespace vxe
