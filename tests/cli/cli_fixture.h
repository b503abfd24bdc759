// Runs fwupdate-cli in the test's process over simulated devices described
// by files in a fresh folder, and keeps what the simulator logged.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <istream>
#include <map>
#include <string>
#include <vector>

#include "sim/bridge.h"

namespace vxe::test {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
    bool commandRan = false;                                   // the bus was looked at after a command
    std::map<std::string, std::vector<sim::LogEntry>> logs;    // by device path
    std::map<std::string, sim::Counters> counters;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A description file in the bus folder.
    void device(const std::string& name, const std::string& text);
    // The flash file `name` in the bus folder.
    void writeFlash(const std::string& name, const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> readFlash(const std::string& name) const;

    // `args` with --bus pointing at the folder.
    CliResult runOnBus(std::vector<std::string> args, const std::string& input = "", bool terminal = false);
    CliResult run(std::vector<std::string> args, const std::string& input = "", bool terminal = false);
    // Answers come from `input` as the program reads them.
    CliResult run(std::vector<std::string> args, std::istream& input, bool terminal = false);

    std::string path(const std::string& name) const { return (dir / name).string(); }

    // The engine images of tests/engine-images beside the device files,
    // unless the program was built with them.
    void useEngineImages();
    // One image beside the device files, whatever the program carries.
    void busImage(const std::string& name, const std::vector<uint8_t>& bytes);

    std::filesystem::path dir;
};

std::vector<std::string> Lines(const std::string& text);
std::vector<uint8_t> ReadFile(const std::filesystem::path& file);
// A file of tests/engine-images.
std::vector<uint8_t> EngineImage(const std::string& file);
std::string EngineImagePath(const std::string& file);
// The program was built with this engine image (the engine-images preset).
bool BuiltInImage(const std::string& name);
// A 64 KB flash of old contents under a signed header: what an enclosure
// holds before its update.
std::vector<uint8_t> FactoryFlash();
// Every command that changes the flash.
size_t WritesIn(const std::vector<sim::LogEntry>& log);

}  // namespace vxe::test
