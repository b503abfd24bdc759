// Writes images for the update engines' resource names, for building a
// program whose engines can really program a (simulated) flash, and small
// firmware files that pass the engineering panel's file check for each
// engine family. Our own content: a tag where the file check looks for one
// and fixed-seed filler everywhere else, the same on every machine.
//
//   FW849.bin    40,000 bytes, tag "8490" at 4..7: an RT71849 rev 1 image
//   FW652A.bin   40,000 bytes, tag block "652" at 0x1000, revision byte 0x00
//   FW652B.bin   40,000 bytes, the same with revision character '1'
//   fits-family-N.bin (N = 1, 2, 4, 6, 7, 18): a file the check accepts for
//                that family at the revision the simulated bridge reports
//
// Usage: make_engine_images <folder>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr size_t kImageSize = 40000;
constexpr size_t kTagBlockOffset = 0x1000;
constexpr std::array<uint8_t, 4> kMarker{0x55, 0xAA, 0xAA, 0x55};

std::vector<uint8_t> Filler(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = seed;
    for (uint8_t& b : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        b = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

void Put(std::vector<uint8_t>& image, size_t offset, std::string_view bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) image[offset + i] = static_cast<uint8_t>(bytes[i]);
}

void PutMarker(std::vector<uint8_t>& image, size_t offset) {
    for (size_t i = 0; i < kMarker.size(); ++i) image[offset + i] = kMarker[i];
}

// A family-6 image: no marker at 0, the tag block at 0x1000.
std::vector<uint8_t> Ksv652Image(char revisionByte, uint32_t seed) {
    std::vector<uint8_t> image = Filler(kImageSize, seed);
    image[0] = 0x00;  // never the marker at offset 0
    PutMarker(image, kTagBlockOffset);
    Put(image, kTagBlockOffset + 4, "652A");
    image[kTagBlockOffset + 8] = static_cast<uint8_t>(revisionByte);
    return image;
}

struct Output {
    std::string name;
    std::vector<uint8_t> bytes;
};

std::vector<Output> Outputs() {
    std::vector<Output> out;
    std::vector<uint8_t> fw849 = Filler(kImageSize, 0x08490849);
    Put(fw849, 4, "8490");
    out.push_back({"FW849.bin", fw849});
    out.push_back({"FW652A.bin", Ksv652Image('\0', 0x652A652A)});
    out.push_back({"FW652B.bin", Ksv652Image('1', 0x652B652B)});

    // Files for the panel's check only; 16 bytes unless the check reads further.
    std::vector<uint8_t> family1(16, 0x00);
    Put(family1, 4, "\x5A\xA5\x0F\xF0");  // revision 1
    out.push_back({"fits-family-1.bin", family1});
    std::vector<uint8_t> family2(16, 0x00);
    Put(family2, 4, "F846");  // anything but "84" at 4..5 fits
    out.push_back({"fits-family-2.bin", family2});
    out.push_back({"fits-family-18.bin", family2});
    std::vector<uint8_t> family4(16, 0x00);
    Put(family4, 4, "8490");  // revision 1
    out.push_back({"fits-family-4.bin", family4});
    std::vector<uint8_t> family6(kTagBlockOffset + 16, 0x00);
    PutMarker(family6, kTagBlockOffset);
    Put(family6, kTagBlockOffset + 4, "652A");  // revision byte 0x00: revision 1
    out.push_back({"fits-family-6.bin", family6});
    std::vector<uint8_t> family7(16, 0x00);
    PutMarker(family7, 0);
    Put(family7, 4, "c653");  // revision 1, what a simulated KSV653 reports by its INQUIRY tag
    out.push_back({"fits-family-7.bin", family7});
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_engine_images <folder>\n");
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(argv[1], ec);
    for (const Output& output : Outputs()) {
        const std::filesystem::path file = std::filesystem::path(argv[1]) / output.name;
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(output.bytes.data()), static_cast<std::streamsize>(output.bytes.size()));
        out.close();
        if (!out) {
            std::fprintf(stderr, "make_engine_images: cannot write %s\n", file.string().c_str());
            return 1;
        }
    }
    return 0;
}
