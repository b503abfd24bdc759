#include "tests/bench/prescribed_commands.h"

#include <algorithm>

namespace vxe::bench {
namespace {

constexpr uint32_t kImage = 65536;
constexpr uint32_t kHeader = 128;
constexpr uint32_t kSpiTransfer = 8192;
constexpr uint32_t kFirstWrite = 4096;   // a write at address 0 carries at most this
constexpr uint32_t kProgramChunk = 8192;
constexpr uint32_t kEraseBlock = 32768;
constexpr uint64_t kReadyWait = 1;       // one status read on a ready flash

uint32_t Sectors(uint32_t length) { return (length + 511) / 512 * 512; }
uint32_t Pieces(uint32_t length, uint32_t piece) { return (length + piece - 1) / piece; }

// Each serial transfer waits for the flash first.
uint64_t SpiRead(uint32_t length) { return Pieces(Sectors(length), kSpiTransfer) * (kReadyWait + 1); }

// Writes in large erase units: no transfer crosses a unit boundary.
uint64_t SpiWrite(uint32_t length, uint32_t unit) {
    uint64_t transfers = 0;
    const uint32_t total = Sectors(length);
    for (uint32_t at = 0; at < total; ++transfers) {
        uint32_t size = std::min(total - at, at == 0 ? kFirstWrite : kSpiTransfer);
        const uint32_t nextBoundary = (at / unit + 1) * unit;
        size = std::min(size, nextBoundary - at);
        at += size;
    }
    return transfers * (kReadyWait + 1);
}

uint64_t PagedRead(uint32_t length, uint32_t pageSize) {
    return kReadyWait + Pieces(length, pageSize) * (kReadyWait + 1);
}

// Controller probe, preparation, configuration register, current header.
uint64_t CommonStart() { return 1 + 1 + 1 + SpiRead(kHeader); }

}  // namespace

uint64_t PrescribedSerialUpdate(const SerialFlashParts& flash) {
    uint64_t n = CommonStart();
    n += SpiRead(kImage);                           // the old contents kept past the image
    n += kReadyWait + 1;                            // the flash maker
    if (flash.vendor == 5) n += kReadyWait + 1;     // that maker's first-sector write
    n += SpiWrite(kImage, flash.largeEraseUnit);    // first attempt
    n += kReadyWait;
    n += SpiRead(kImage);                           // read-back
    return n;
}

uint64_t PrescribedPagedUpdate(uint32_t pageSize) {
    uint64_t n = CommonStart();
    n += Pieces(kImage, kEraseBlock) * (kReadyWait + 1);    // block erases
    n += PagedRead(kImage, pageSize);                       // blank check
    n += Pieces(kImage, kProgramChunk) * (kReadyWait + 1);  // programs
    n += kReadyWait;                                        // after the settle pause
    n += PagedRead(kImage, pageSize);                       // read-back
    return n;
}

}  // namespace vxe::bench
