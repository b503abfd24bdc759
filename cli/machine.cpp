#include "cli/machine.h"

#include "sim/simulated_platform.h"
#include "platform/tracing_platform.h"
#include "sim/device_files.h"

#ifdef _WIN32
#include "platform/windows_platform.h"
#else
#include "platform/linux_platform.h"
#endif

namespace vxe::cli {
namespace {

#ifdef _WIN32
using MachinePlatform = WindowsPlatform;
#else
using MachinePlatform = LinuxPlatform;
#endif

// Message boxes as "Caption: text" lines; no debugger output.
class ConsolePlatform final : public Platform {
public:
    ConsolePlatform(Platform& inner, std::ostream& err) : inner_(inner), err_(err) {}

    PassThroughResult passThrough(const PassThroughRequest& request) override { return inner_.passThrough(request); }
    std::vector<std::string> enumerateInterfaces(InterfaceClass cls) override { return inner_.enumerateInterfaces(cls); }
    uint32_t maxTransferLength(const char* path) override { return inner_.maxTransferLength(path); }
    std::string deviceIdentity(const char* path) override { return inner_.deviceIdentity(path); }
    void sleepMs(uint32_t milliseconds) override { inner_.sleepMs(milliseconds); }
    std::span<const uint8_t> findResource(std::string_view name, std::string_view type) override {
        return inner_.findResource(name, type);
    }
    void messageBox(std::string_view text, std::string_view caption, MessageIcon) override {
        err_ << caption << ": " << text << '\n';
    }
    void debugOutput(std::string_view) override {}

private:
    Platform& inner_;
    std::ostream& err_;
};

}  // namespace

Machine::Machine(const Invocation& invocation, std::ostream& err) {
    if (!invocation.busDirectory.empty()) {
        try {
            const std::vector<sim::DeviceFile> files = sim::LoadDeviceDirectory(invocation.busDirectory);
            if (sim::WantsRealTime(files)) {
                clock_ = std::make_unique<sim::RealClock>();
            } else {
                clock_ = std::make_unique<sim::FakeClock>();
            }
            bus_ = std::make_unique<sim::Bus>(*clock_);
            sim::AddDevicesToBus(*bus_, files);
        } catch (const sim::DeviceFileError& e) {
            throw UsageError(e.what());
        }
        devices_ = std::make_unique<SimulatedPlatform>(*bus_);
    } else {
        devices_ = std::make_unique<MachinePlatform>();
    }

    Platform* inner = devices_.get();
    if (!invocation.traceFile.empty()) {
        traceFile_.open(invocation.traceFile, std::ios::out | std::ios::trunc);
        if (!traceFile_) throw UsageError("--trace: cannot write \"" + invocation.traceFile + "\"");
        tracing_ = std::make_unique<TracingPlatform>(*inner, traceFile_);
        inner = tracing_.get();
    }
    outermost_ = std::make_unique<ConsolePlatform>(*inner, err);
}

Machine::~Machine() = default;

std::vector<std::string> Machine::flashFileProblems() const {
    std::vector<std::string> problems;
    if (bus_ == nullptr) return problems;
    for (const sim::BusDevice& device : bus_->devices()) {
        const std::string& problem = device.bridge->flashFileProblem();
        if (!problem.empty()) problems.push_back(device.path + ": flash-file: " + problem);
    }
    return problems;
}

}  // namespace vxe::cli
