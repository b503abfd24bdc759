// Command blocks written out by hand, byte by byte, the way a host puts them
// on the wire. The simulator's tests never build them with product code.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "sim/bridge.h"

namespace simtest {

inline sim::Command Raw(std::initializer_list<uint8_t> cdb, bool dataIn, uint32_t length, uint32_t timeoutSeconds = 20) {
    sim::Command c;
    std::copy(cdb.begin(), cdb.end(), c.cdb.begin());
    c.cdbLength = 12;
    c.dataIn = dataIn;
    c.length = length;
    c.timeoutSeconds = timeoutSeconds;
    c.exclusiveOpen = !dataIn;
    return c;
}

// Sends a data-in command and returns the bytes delivered.
inline std::vector<uint8_t> ReadIn(sim::Bridge& bridge, std::initializer_list<uint8_t> cdb, uint32_t length,
                                   sim::Reply* reply = nullptr) {
    std::vector<uint8_t> buffer(length, 0);
    const sim::Reply r = bridge.execute(Raw(cdb, true, length), buffer);
    buffer.resize(r.transferred);
    if (reply != nullptr) *reply = r;
    return buffer;
}

inline sim::Reply SendOut(sim::Bridge& bridge, std::initializer_list<uint8_t> cdb, std::vector<uint8_t> data = {},
                          uint32_t timeoutSeconds = 10) {
    return bridge.execute(Raw(cdb, false, static_cast<uint32_t>(data.size()), timeoutSeconds), data);
}

inline uint8_t Hi(uint32_t v) { return static_cast<uint8_t>(v >> 8); }
inline uint8_t Lo(uint32_t v) { return static_cast<uint8_t>(v); }
inline uint8_t A2(uint32_t v) { return static_cast<uint8_t>(v >> 16); }

// FF 04 10 flash read and FF 04 12 status.
inline std::vector<uint8_t> FlashRead(sim::Bridge& b, uint32_t address, uint32_t length) {
    return ReadIn(b, {0xFF, 0x04, 0x10, A2(address), Hi(address), Lo(address), 0, 0, 0, 0, 0, 0}, length);
}
inline uint8_t FlashStatus(sim::Bridge& b) {
    const std::vector<uint8_t> s = ReadIn(b, {0xFF, 0x04, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 2);
    return s.empty() ? 0xEE : s[0];
}

}  // namespace simtest
