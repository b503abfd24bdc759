// One SCSI command block to one device, through the platform's pass-through.
// Every call opens the device, sends one request, closes the device and
// returns 1 when the request went through, 0 otherwise. The SCSI status is
// not examined: callers judge replies by their content.
#pragma once

#include <cstdint>

namespace vxe {

inline constexpr uint32_t kDataInTimeoutSeconds = 20;
inline constexpr uint32_t kDataOutTimeoutSeconds = 10;
inline constexpr uint32_t kChipEraseTimeoutSeconds = 100;  // data-out CDB byte 2 == 0x13

// Transfers shorter than this go through a 4-byte scratch buffer.
inline constexpr int32_t kScratchBufferSize = 4;

// `transferred` may be null; otherwise it receives the transfer length the
// platform reports, also when the request failed, but not when the device
// could not be opened.
int32_t ScsiDataIn(const char* path, const uint8_t* cdb, int32_t cdbLength, uint8_t* buffer, int32_t length,
                   int32_t* transferred);
int32_t ScsiDataOut(const char* path, const uint8_t* cdb, int32_t cdbLength, const uint8_t* buffer,
                    int32_t length, int32_t* transferred);

// The data-out timeout rule, shared with anyone who needs to predict it.
uint32_t DataOutTimeoutSeconds(const uint8_t* cdb, int32_t cdbLength);

}  // namespace vxe
