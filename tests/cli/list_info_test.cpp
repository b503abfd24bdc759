// list and info: what the window would list and read out, in both formats.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/embedded_resources.h"
#include "tests/cli/cli_fixture.h"

namespace vxe::test {
namespace {

using ::testing::HasSubstr;

constexpr const char* kEnclosure = "profile = vxe720-enclosure\n";

std::vector<uint8_t> FlashHoldingTheBuiltInImage() {
    const std::span<const uint8_t> image = FindBuiltInResource("VXE720FW", "FW");
    std::vector<uint8_t> flash(0x10000, 0xFF);
    std::copy(image.begin(), image.end(), flash.begin());
    return flash;
}

using ListCommand = CliTest;

TEST_F(ListCommand, ListsTheBridgesThatNeedTheUpdateInBothFormats) {
    device("a-disk.device", std::string(kEnclosure) + "path = USBSTOR-Disk-1\n");
    device("b-stick.device", "profile = plain-disk\n");
    device("c-engine.device", "profile = family\nfamily = 4\n");
    device("d-cdrom.device", std::string(kEnclosure) + "class = cdrom\n");

    const CliResult plain = runOnBus({"list"});
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(Lines(plain.out), (std::vector<std::string>{
                                    "0\tusbstor-disk-1\t<<USB>> Corvane VXE720 SATA Brdg\tneeds-update",
                                    "1\td-cdrom\t<<USB>> Corvane VXE720 SATA Brdg\tneeds-update",
                                    "candidates: 4",
                                    "Click 'Yes' to proceed with the firmware update",
                                }));
    // Attached twice in the pass and detached when the command ends, as when
    // the window closes; the disk-class bridge only attached.
    EXPECT_EQ(plain.counters.at("d-cdrom").hostAttach, 2u);
    EXPECT_EQ(plain.counters.at("d-cdrom").hostDetach, 1u);
    EXPECT_EQ(plain.counters.at("USBSTOR-Disk-1").hostDetach, 0u);

    const CliResult json = runOnBus({"list", "--json"});
    EXPECT_EQ(json.out,
              "{\"schema\":1,\"command\":\"list\",\"devices\":[{\"index\":0,\"path\":\"usbstor-disk-1\",\"name\":"
              "\"<<USB>> Corvane VXE720 SATA Brdg\",\"detachAtExit\":false,\"needsUpdate\":true,\"busy\":false},{\"index\":1,\"path\":"
              "\"d-cdrom\",\"name\":\"<<USB>> Corvane VXE720 SATA Brdg\",\"detachAtExit\":true,\"needsUpdate\":true,\"busy\":false}],"
              "\"candidates\":4,\"beyondSlots\":0,\"alreadyUpdated\":false,\"state\":\"ready\","
              "\"prompt\":\"Click 'Yes' to proceed with the firmware update\",\"messages\":[]}\n");
}

TEST_F(ListCommand, PromptsAsTheWindowWhenNothingIsListed) {
    const CliResult empty = runOnBus({"list", "--json"});
    EXPECT_EQ(empty.status, 0);
    EXPECT_THAT(empty.out, HasSubstr("\"candidates\":0,\"beyondSlots\":0,\"alreadyUpdated\":false,\"state\":\"no-device\","
                                     "\"prompt\":\"                 No device found!!\""));

    device("enclosure.device", std::string(kEnclosure) + "flash-file = enclosure.bin\n");
    writeFlash("enclosure.bin", FlashHoldingTheBuiltInImage());
    const CliResult updated = runOnBus({"list"});
    EXPECT_EQ(Lines(updated.out), (std::vector<std::string>{"-\tenclosure\t<<USB>> Corvane VXE720 SATA Brdg\tcurrent",
                                                            "candidates: 1", "The chip already updated!!"}));
    const CliResult updatedJson = runOnBus({"list", "--json"});
    EXPECT_THAT(updatedJson.out, HasSubstr("{\"index\":null,\"path\":\"enclosure\",\"name\":\"<<USB>> Corvane VXE720 "
                                           "SATA Brdg\",\"detachAtExit\":false,\"needsUpdate\":false,\"busy\":false}"));
}

TEST_F(ListCommand, KeepsDeviceBytesFromBreakingTheOutput) {
    device("odd.device", std::string(kEnclosure) +
                             "inquiry = 00 00 06 02 33 00 00 00 \"Tab\\x09Nl\\x0A\\\"q\\\\\\xE9 VXE720 SATA 0107c731\"\n");
    const CliResult plain = runOnBus({"list"});
    EXPECT_EQ(Lines(plain.out)[0], "0\todd\t<<USB>> Tab\\x09Nl\\x0A\"q\\\\\\xE9 VXE720 SATA \tneeds-update");
    const CliResult json = runOnBus({"list", "--json"});
    // A lone 0xE9 is no UTF-8: replaced, not turned into another character.
    EXPECT_THAT(json.out, HasSubstr("\"name\":\"<<USB>> Tab\\tNl\\n\\\"q\\\\\\uFFFD VXE720 SATA \""));
}

// A Windows interface path holds '#' and backslashes: it is described in
// quotes, and list prints it so that it can be given back as DEVICE.
TEST_F(ListCommand, PrintsAWindowsPathAsItIsForDeviceToTakeBack) {
    const std::string windowsPath = R"(\\?\usbstor#disk&ven_corvane#0001#{53f56307-b6bf-11d0-94f2-00a0c91efb8b})";
    device("enclosure.device", std::string(kEnclosure) + R"(path = "\\\\?\\usbstor#disk&ven_corvane#0001#)" +
                                   R"({53f56307-b6bf-11d0-94f2-00a0c91efb8b}"  # the interface of the enclosure)" + "\n");
    const CliResult listed = runOnBus({"list"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(Lines(listed.out)[0], std::string("0\t") + windowsPath + "\t<<USB>> Corvane VXE720 SATA Brdg\tneeds-update");
    const std::string printed = Lines(listed.out)[0].substr(2, windowsPath.size());
    const CliResult info = runOnBus({"info", printed});
    EXPECT_EQ(info.status, 0) << info.err;

    device("enclosure.device", std::string(kEnclosure) + "path = \"usbstor\"trailing\n");
    EXPECT_THAT(runOnBus({"list"}).err, HasSubstr("path: unexpected text after the closing quote"));
}

using InfoCommand = CliTest;

TEST_F(InfoCommand, ShowsTheReadoutByIndexOrPath) {
    device("enclosure.device", std::string(kEnclosure) + "fdb0-at-least-b4 = yes\nversion = 2.1.7\n");
    device("engine.device", "profile = family\nfamily = 4\nroute = id-string\nrevision-char = 1\namic-capacity = 0x11\n");

    const CliResult byIndex = runOnBus({"info", "0"});
    EXPECT_EQ(byIndex.status, 0) << byIndex.err;
    EXPECT_EQ(Lines(byIndex.out), (std::vector<std::string>{
                                      "device:           enclosure",
                                      "chip:             VXE731/720 Series",
                                      "family:           10",
                                      "revision:         9",
                                      "chip id:          0x090A",
                                      "flash type:",
                                      "firmware version: Ver 2.01.07",
                                      "amic flash code:  -",
                                      "one-click update: applies (fwupdate-cli update 0)",
                                      "run procedure:    none",
                                      "run status:       The chip not support Firmware Update!",
                                  }));

    const CliResult byPath = runOnBus({"info", "ENGINE", "--json"});
    EXPECT_EQ(byPath.status, 0) << byPath.err;
    EXPECT_EQ(byPath.out,
              "{\"schema\":1,\"command\":\"info\",\"device\":\"engine\",\"chipId\":516,\"chipIdHex\":\"0x0204\","
              "\"family\":4,\"familyName\":\"RT71849 Series\",\"corvane\":true,\"revision\":2,\"flashType\":\"AMIC\","
              "\"firmwareVersion\":\"Ver 1.02.03\",\"status\":\"\",\"oneClickUpdate\":null,\"amicFlashCode\":3,"
              "\"runProcedure\":\"flash-update\",\"messages\":[]}\n");
    // A path talks to that device only; no device pass ran.
    EXPECT_TRUE(byPath.logs.at("enclosure").empty());
    EXPECT_EQ(WritesIn(byPath.logs.at("engine")), 0u);
}

TEST_F(InfoCommand, NamesNoSuchDevice) {
    device("enclosure.device", kEnclosure);
    device("usb-stick.device", "profile = plain-disk\nusb-storage = no\n");
    for (const std::string name : {"1", "sg9", "usb-stick"}) {
        const CliResult r = runOnBus({"info", name});
        EXPECT_EQ(r.status, 3) << name;
        EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
}

// Commands that only read leave every flash file as it was (or absent); a
// change that cannot be saved is an error, not a silent loss.
TEST_F(ListCommand, OnlyReadingWritesNoFlashFileAndAFailedSaveIsReported) {
    device("enclosure.device", "profile = vxe720-enclosure\nflash-file = enclosure.bin\n");
    device("kept.device", "profile = vxe720-enclosure\npath = kept\nflash-file = kept.bin\n");
    writeFlash("kept.bin", FlashHoldingTheBuiltInImage());
    const auto written = std::filesystem::last_write_time(path("kept.bin"));
    for (const std::vector<std::string>& args : {std::vector<std::string>{"list"}, {"info", "0"}, {"info", "kept"}}) {
        const CliResult r = runOnBus(args);
        EXPECT_EQ(r.status, 0) << args[0] << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(path("enclosure.bin")));
    EXPECT_EQ(std::filesystem::last_write_time(path("kept.bin")), written);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 3);

    device("enclosure.device", "profile = vxe720-enclosure\nflash-file = gone/enclosure.bin\n");
    const CliResult update = runOnBus({"update", "0", "--yes"});
    EXPECT_EQ(update.status, 1);
    EXPECT_THAT(update.err, HasSubstr("fwupdate-cli: update: enclosure: flash-file: \"" +
                                      (dir / "gone" / "enclosure.bin").string() + "\" could not be written\n"));
}

}  // namespace
}  // namespace vxe::test
