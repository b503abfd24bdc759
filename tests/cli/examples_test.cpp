// The example devices and the descriptions in the format's documentation
// stay loadable.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/device_files.h"
#include "tests/cli/cli_fixture.h"

namespace vxe::test {
namespace {

namespace fs = std::filesystem;

using Examples = CliTest;

TEST_F(Examples, TheExampleFolderMakesAMachine) {
    for (const auto& entry : fs::directory_iterator(fs::path(VXE_SOURCE_DIR) / "examples" / "devices")) {
        if (entry.path().extension() == ".device") fs::copy_file(entry.path(), dir / entry.path().filename());
    }
    const CliResult r = runOnBus({"list"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out).size(), 4u) << r.out;  // two enclosures, the count, the prompt
}

TEST(DocumentedDevices, EveryExampleInTheFormatPageParses) {
    std::ifstream page(fs::path(VXE_SOURCE_DIR) / "docs" / "simulated-devices.md");
    ASSERT_TRUE(page);
    std::string line, block;
    bool inBlock = false;
    int blocks = 0;
    while (std::getline(page, line)) {
        if (line.rfind("```", 0) == 0) {
            if (inBlock) {
                EXPECT_NO_THROW(sim::ParseDeviceFile(block, "example " + std::to_string(++blocks), ".")) << block;
                block.clear();
            }
            inBlock = !inBlock;
        } else if (inBlock) {
            block += line + "\n";
        }
    }
    EXPECT_GE(blocks, 5);
}

}  // namespace
}  // namespace vxe::test
