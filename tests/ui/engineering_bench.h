// A bench for the engineering panel: the window as created over a simulated
// machine, with the test's devices listed in it the way a refresh lists
// them, so that any chip family can sit in the selected row.
#pragma once

#include <QDir>
#include <QTemporaryDir>

#include <stdexcept>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/simulated_machine.h"
#include "ui/fwupdate.h"
#include "app/size_settings.h"

namespace vxe::test {

// Lets a test act from inside a running procedure: once, at the first time
// the procedure lets the window process messages or redraws its status.
class BenchWindow : public TR84xFwTool {
public:
    BenchWindow() : TR84xFwTool(nullptr, AsCreated) {}

    void processMessages() override {
        ++pumps;
        if (onPump) std::exchange(onPump, nullptr)();
        TR84xFwTool::processMessages();
    }
    void repaintStatus() override {
        if (onRepaint) std::exchange(onRepaint, nullptr)();
        TR84xFwTool::repaintStatus();
    }

    std::function<void()> onPump;
    std::function<void()> onRepaint;
    int pumps = 0;
};

// Runs the test in a fresh temporary folder, where the default backup lands.
class InTemporaryFolder {
public:
    // A folder no other test process can share: tests run in parallel, and
    // under ASan their objects even sit at the same addresses.
    InTemporaryFolder() : previous_(std::filesystem::current_path()) {
        if (!made_.isValid()) throw std::runtime_error("no temporary folder");
        folder_ = std::filesystem::path(made_.path().toStdU16String()).make_preferred();
        std::filesystem::current_path(folder_);
    }
    // The folder goes once the test has left it (Windows keeps a folder
    // that is some process's current one).
    ~InTemporaryFolder() { std::filesystem::current_path(previous_); }
    InTemporaryFolder(const InTemporaryFolder&) = delete;
    InTemporaryFolder& operator=(const InTemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return folder_; }

private:
    std::filesystem::path previous_;
    QTemporaryDir made_{QDir::tempPath() + QStringLiteral("/vxe-engineering-XXXXXX")};
    std::filesystem::path folder_;
};

// Lists the devices at `paths` as rows 0, 1, ..., selects the first and
// reads it out, as a refresh that found them would.
inline void ListDevices(TR84xFwTool& window, const std::vector<std::string>& paths) {
    window.DeviceList->clear();
    for (size_t row = 0; row < paths.size(); ++row) {
        DeviceEntry& entry = window.DeviceTable[row];
        entry = DeviceEntry{};
        std::strncpy(entry.DevicePath, paths[row].c_str(), sizeof entry.DevicePath - 1);
        window.DeviceList->addItem(QStringLiteral("<<USB>> device %1").arg(row));
    }
    window.DeviceCount = static_cast<int32_t>(paths.size());
    window.DeviceList->setEnabled(true);
    window.DeviceList->setCurrentIndex(0);
    window.UpdateBtnCheck(window.DeviceList);
}

// Run as the user presses it, with the button enabled as a file choice or
// an option box would leave it.
inline void PressRun(TR84xFwTool& window) {
    window.UpdateBtn->setEnabled(true);
    window.UpdateBtn->click();
}

// One device on a machine of its own, listed and selected in a window of its own.
struct Rig {
    explicit Rig(sim::DeviceDescription description)
        : bridge(machine.addDisk(UsbDiskPath(0), std::move(description))) {
        ListDevices(window, {UsbDiskPath(0)});
        bridge.clearLog();
        machine.platform.clearRecords();
    }
    explicit Rig(int family, sim::ProfileOptions options = {})
        : Rig(sim::ProfileForFamily(family, sim::Route::InquiryTag, options)) {}

    void setFirmware(std::vector<uint8_t> image) { machine.platform.setResource("FW849", "FW", std::move(image)); }
    std::string status() const { return window.statusText(); }

    SimulatedMachine machine;
    sim::Bridge& bridge;
    BenchWindow window;
};

// The size settings belong to the process: leave them as the program starts.
class KeepsSizeSettings : public ::testing::Test {
protected:
    ~KeepsSizeSettings() override {
        FirmwareSize = savedFirmwareSize_;
        TransferPageSize = savedTransferPageSize_;
    }

private:
    int32_t savedFirmwareSize_ = FirmwareSize;
    int32_t savedTransferPageSize_ = TransferPageSize;
};

// Bytes that differ from an erased flash and from one another.
inline std::vector<uint8_t> TestImage(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
    return bytes;
}

}  // namespace vxe::test
