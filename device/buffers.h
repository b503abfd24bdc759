// Zero-filled transfer blocks. The bulk transfers move data straight between
// the device and memory, so their buffers are aligned inside a larger block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace vxe {

// A block of zero bytes that releases itself. An allocation that fails gives
// an empty block (data() == nullptr), never a block that is smaller than asked.
class ZeroedBlock {
public:
    ZeroedBlock() = default;
    uint8_t* data() const { return bytes_.get(); }
    size_t size() const { return size_; }
    explicit operator bool() const { return bytes_ != nullptr; }
    std::span<uint8_t> span() const { return {bytes_.get(), size_}; }
    void reset() {
        bytes_.reset();
        size_ = 0;
    }

private:
    friend ZeroedBlock AllocZeroed(size_t size, size_t extra);
    std::unique_ptr<uint8_t[]> bytes_;
    size_t size_ = 0;
};

// A new block of size + extra bytes, all zero; empty when memory runs out or
// the sum overflows.
ZeroedBlock AllocZeroed(size_t size, size_t extra = 0);

// (value + alignment - 1) & ~(alignment - 1) for a power-of-two alignment.
constexpr uintptr_t AlignUp(uintptr_t value, uintptr_t alignment) {
    return (value + alignment - 1) & ~(alignment - 1);
}

// Releases the block if it holds one.
inline void FreeBuffer(ZeroedBlock& block) { block.reset(); }

// A zeroed block of `size` usable bytes starting at an `alignment` boundary
// inside a block allocated with `alignment` extra bytes.
class AlignedBlock {
public:
    AlignedBlock(size_t size, size_t alignment);
    uint8_t* data() const { return aligned_; }
    size_t size() const { return aligned_ ? size_ : 0; }
    explicit operator bool() const { return aligned_ != nullptr; }
    std::span<uint8_t> span() const { return {aligned_, size()}; }

private:
    ZeroedBlock block_;
    uint8_t* aligned_ = nullptr;
    size_t size_ = 0;
};

}  // namespace vxe
