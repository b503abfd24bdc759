// The device's transfer bound is looked up once per procedure, per device,
// and looked up afresh by the next procedure, when the node may belong to
// another device.
#include <gtest/gtest.h>

#include <vector>

#include "device/transfer_limit_scope.h"
#include "device/vendor_commands.h"
#include "tests/support/metered_platform.h"
#include "tests/support/simulated_machine.h"
#include "tests/support/wire_log.h"

namespace vxe {
namespace {

constexpr int32_t kRead = 256 * 1024;

class TransferLimitScopeTest : public ::testing::Test {
protected:
    test::SimulatedMachine machine;
    test::MeteredPlatform metered{machine.platform, machine.clock};
    ScopedPlatform installed{metered};
    std::string a = test::UsbDiskPath(0);
    std::string b = test::UsbDiskPath(1);
    sim::Bridge& bridgeA = machine.addDisk(a, Big());
    sim::Bridge& bridgeB = machine.addDisk(b, Big());
    std::vector<uint8_t> buffer = std::vector<uint8_t>(kRead);

    TransferLimitScopeTest() {
        machine.platform.setTransferLimit(a, 120 * 1024);
        machine.platform.setTransferLimit(b, 64 * 1024);
    }
    static sim::DeviceDescription Big() {
        sim::DeviceDescription d = sim::Vxe720Enclosure();
        d.flashSize = 1024 * 1024;
        return d;
    }
    bool read(const std::string& path) { return FlashRead(path.c_str(), 0, buffer.data(), kRead) == 1; }
    static std::vector<uint32_t> Lengths(const sim::Bridge& bridge) {
        std::vector<uint32_t> lengths;
        for (const auto& c : test::FlashReads(bridge)) lengths.push_back(c.length);
        return lengths;
    }
};

TEST_F(TransferLimitScopeTest, OneLookUpPerDeviceWhileAScopeIsOpen) {
    ASSERT_TRUE(read(a));
    ASSERT_TRUE(read(a));
    EXPECT_EQ(metered.limitLookups, 2u) << "without a scope every read asks";

    metered.limitLookups = 0;
    bridgeA.clearLog();
    {
        const TransferLimitScope procedure;
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(read(a));
        {
            const TransferLimitScope inner;
            ASSERT_TRUE(read(b));
        }
        ASSERT_TRUE(read(b));
    }
    EXPECT_EQ(metered.limitLookups, 2u);
    // Each device keeps its own bound.
    EXPECT_EQ(Lengths(bridgeA).size(), 9u);
    EXPECT_EQ(Lengths(bridgeA)[0], 120u * 1024);
    EXPECT_EQ(Lengths(bridgeB), (std::vector<uint32_t>{65536, 65536, 65536, 65536, 65536, 65536, 65536, 65536}));
}

TEST_F(TransferLimitScopeTest, TheNextProcedureSeesANodeGivenToAnotherDevice) {
    {
        const TransferLimitScope first;
        ASSERT_TRUE(read(a));
    }
    // The enclosure goes; another one, on a slower link, gets the same node.
    machine.platform.setTransferLimit(a, 32 * 1024);
    bridgeA.clearLog();
    const TransferLimitScope second;
    EXPECT_TRUE(read(a)) << "a remembered 120 KiB would be refused";
    EXPECT_EQ(Lengths(bridgeA), std::vector<uint32_t>(8, 32u * 1024));
}

}  // namespace
}  // namespace vxe
