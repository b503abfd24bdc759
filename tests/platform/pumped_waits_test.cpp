#include "platform/pumped_waits.h"

#include <gtest/gtest.h>

#include <vector>

namespace vxe {
namespace {

// Writes down every sleep; everything else is never asked for here.
class SleepLog final : public Platform {
public:
    PassThroughResult passThrough(const PassThroughRequest&) override { return {}; }
    std::vector<std::string> enumerateInterfaces(InterfaceClass) override { return {}; }
    void sleepMs(uint32_t milliseconds) override { sleeps.push_back(milliseconds); }
    std::span<const uint8_t> findResource(std::string_view, std::string_view) override { return {}; }
    void messageBox(std::string_view, std::string_view, MessageIcon) override {}
    void debugOutput(std::string_view) override {}

    std::vector<uint32_t> sleeps;
};

TEST(PumpedWaits, SlicesEveryWaitIntoPollsThatAddUpToItAndPumpsAfterEach) {
    SleepLog machine;
    const ScopedPlatform installed(machine);
    int pumps = 0;
    {
        const PumpedWaits pumped(10, [&] {
            ++pumps;
            // A handler that waits on a device meanwhile: slept whole, no nested pump.
            if (pumps == 1) CurrentPlatform().sleepMs(30);
        });
        ASSERT_EQ(&CurrentPlatform(), &pumped);
        CurrentPlatform().sleepMs(10);   // one ready poll: unchanged
        CurrentPlatform().sleepMs(25);   // a pause: whole polls, then the rest
    }
    EXPECT_EQ(machine.sleeps, (std::vector<uint32_t>{10, 30, 10, 10, 5}));
    EXPECT_EQ(pumps, 4);
    EXPECT_EQ(&CurrentPlatform(), &machine) << "the platform before it is back";
}

}  // namespace
}  // namespace vxe
