// Ready-made device descriptions: one for every chip family the product can
// identify, through each way identification can reach it, and plain disks.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "sim/device_description.h"

namespace sim {

// How identification reaches the family.
enum class Route : uint8_t {
    InquiryTag,        // INQUIRY bytes 36..39 carry "cNNN"
    InformationBlock,  // no tag; the 0xE0 block (with its F4 E7 marker) names the model
    IdString,          // no tag, no model in the block; FF 04 30 string ("c845C", "c849C", "c819A", "c652")
    IdWord,            // no tag, block without marker; the identification word picks 14..17
};

struct ProfileOptions {
    // Revision character where the route carries one (block byte 11, the
    // character after the identification string's tag). Family 7 carries '1'
    // or '2' in its block; the default '0' becomes '1' there.
    uint8_t revisionChar = '0';
    bool fdb0AtLeastB4 = false;        // family 10: TestMemoryFDB0 answers true
    bool memory505eDirect = false;     // family 10: TestMemory505E answers true
    bool register7058Bit0 = false;     // family 10: bit 0 of the byte at 0x7058
    // Serial flash maker code (6 = WINBOND); it also picks the erase units and
    // the JEDEC identifier a part of that maker has.
    uint8_t flashVendorCode = 6;
    // JEDEC 7F 37 20 with amicCapacity, maker code 7 whatever flashVendorCode
    // says; capacities 0x10, 0x11 and 0x12 have the boot-sector map
    // 0x0000/0x1000/0x3000/0x7000/0xF000 for the FF 04 14 block erase.
    bool amicFlash = false;
    uint8_t amicCapacity = 0x11;
    bool sixteenByteInfo = true;       // 0xE0 delivers 16 bytes (three-part version)
    std::array<uint8_t, 3> version3{1, 2, 3};
    std::array<uint8_t, 2> version2{3, 5};
    int parallelFlashType = 0;         // families 2 and 18: the parallel part's type
    Timing timing = Timing::Instant();
};

// A bridge of `family` (1..18) reached through `route`. Families that a route
// cannot reach fall back to the nearest route that can (documented per family
// in profiles.cpp).
// Families outside 1..18 throw std::invalid_argument.
DeviceDescription ProfileForFamily(int family, Route route = Route::InquiryTag,
                                   const ProfileOptions& options = {});

// The route ProfileForFamily really takes for `family` when asked for `wanted`.
Route RouteFor(int family, Route wanted);

// The VXE720-generation enclosure the one-click update serves (family 10).
DeviceDescription Vxe720Enclosure(const ProfileOptions& options = {});

// A USB stick or disk without a Corvane bridge: INQUIRY works, every vendor
// command ends in CHECK CONDITION.
DeviceDescription PlainUsbDisk();

}  // namespace sim
