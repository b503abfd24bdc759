// The inside of one command on the simulated bridge: the frame of
// Bridge::execute (bridge.cpp) and the command decoder (bridge_commands.cpp)
// share it. Not part of the simulator's interface.
#pragma once

#include <cstdint>
#include <span>

#include "sim/bridge.h"

namespace sim {

enum class DataPhase : uint8_t { None, In, Out };

struct Bridge::Impl {
    using Handler = Reply (Impl::*)();

    // What the decoder made of a command block.
    struct Decoded {
        Handler handler = nullptr;  // null: the command is not understood
        uint8_t asc = kAscInvalidOpcode;
        DataPhase phase = DataPhase::None;
        bool flashCommand = false;  // reaches the flash: held while it is busy
    };

    Impl(Bridge& bridge, const Command& command, std::span<uint8_t> data, uint64_t index)
        : b(bridge), cmd(command), data(data), index(index) {}

    Reply run();

    // bridge_commands.cpp
    Decoded decode() const;
    Reply inquiry();
    Reply chipInformation();
    Reply idWord();
    Reply memoryRead();
    Reply spiRead();
    Reply spiWrite();
    Reply parallelBusy();
    Reply parallelErase();
    Reply parallelProgram();
    Reply parallelRead();
    Reply parallelPreErase();
    Reply switchToInternalRom();
    Reply flashRead();
    Reply flashProgram();
    Reply flashStatus();
    Reply chipErase();
    Reply blockErase();
    Reply jedecCommand();
    Reply jedecRead();
    Reply flashVendor();
    Reply prepareForUpdate();
    Reply idString();
    Reply hostAttachDetach();

    // bridge.cpp: replies, flash operations and faults
    static Reply Good(uint32_t transferred = 0);
    static Reply CheckCondition(uint8_t asc);
    static Reply TransportError();
    // Copies the reply bytes into the host buffer, as many as the host asked
    // for and the shortened-read fault lets through.
    Reply deliver(std::span<const uint8_t> bytes);
    uint32_t accepted() const;  // data-out bytes the host sent
    std::span<const uint8_t> outData() const { return data.first(accepted()); }
    bool writeIgnored() const;
    bool stuckBusy() const;
    bool busyNow() const;  // what the status commands report
    // Holds a flash command while the flash is busy; false when it timed out.
    bool waitForFlash();
    void erase(uint32_t start, uint32_t length);
    void program(uint32_t address, std::span<const uint8_t> bytes);
    void busyFor(uint64_t ms);
    uint64_t timeoutMs() const;

    Bridge& b;
    const Command& cmd;
    std::span<uint8_t> data;
    uint64_t index;
    bool flashChanged = false;
};

}  // namespace sim
