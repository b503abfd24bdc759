#include "device/buffers.h"

#include <limits>
#include <new>

namespace vxe {

ZeroedBlock AllocZeroed(size_t size, size_t extra) {
    ZeroedBlock block;
    if (size > std::numeric_limits<size_t>::max() - extra) return block;
    const size_t total = size + extra;
    block.bytes_.reset(new (std::nothrow) uint8_t[total == 0 ? 1 : total]());
    if (block.bytes_) block.size_ = total;
    return block;
}

AlignedBlock::AlignedBlock(size_t size, size_t alignment) : size_(size) {
    block_ = AllocZeroed(size, alignment);
    if (!block_) return;
    const auto start = reinterpret_cast<uintptr_t>(block_.data());
    aligned_ = block_.data() + (AlignUp(start, alignment) - start);
}

}  // namespace vxe
