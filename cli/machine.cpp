#include "cli/machine.h"

#include <filesystem>
#include <mutex>

#include "app/extra_images.h"
#include "app/identity_watch.h"
#include "platform/forwarding_platform.h"
#include "cli/output.h"

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
class ConsolePlatform final : public ForwardingPlatform {
public:
    ConsolePlatform(Platform& inner, std::ostream& err) : ForwardingPlatform(inner), err_(err) {}

    void messageBox(std::string_view text, std::string_view caption, MessageIcon) override {
        const std::lock_guard lock(mutex_);
        err_ << caption << ": " << text << '\n';
        NoticeCapture::record({std::string(caption), std::string(text)});
    }
    void debugOutput(std::string_view) override {}

private:
    std::ostream& err_;
    std::mutex mutex_;
};

thread_local NoticeCapture* t_capture = nullptr;

// images/NAME.bin beside the description files: what the simulated program
// carries under the engines' resource names. Only the simulated platform
// ever sees them.
void LoadBusImages(const std::string& busDirectory, SimulatedPlatform& platform) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(busDirectory) / "images";
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return;
    const ScopedPlatform checking(platform);  // the file check reports through it
    for (const std::string_view name : kExtraImageNames) {
        const fs::path file = folder / (std::string(name) + ".bin");
        if (!fs::exists(file, ec)) continue;
        const std::string problem = ExtraImageProblem(name, file.string());
        if (!problem.empty()) throw UsageError("--bus: " + problem);
        std::ifstream in(file, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        platform.setResource(std::string(name), std::string(kExtraImageType), std::move(bytes));
    }
}

}  // namespace

NoticeCapture::NoticeCapture() : previous_(t_capture) { t_capture = this; }
NoticeCapture::~NoticeCapture() { t_capture = previous_; }

void NoticeCapture::record(const Notice& notice) {
    if (t_capture != nullptr) t_capture->notices_.push_back(notice);
}

std::string NoticesJson(const std::vector<Notice>& notices) {
    std::vector<std::string> elements;
    for (const Notice& n : notices) elements.push_back(JsonObject().addString("caption", n.caption).addString("text", n.text).str());
    return JsonArray(elements);
}

Machine::Machine(const Invocation& invocation, std::ostream& err, Platform* devices) {
    if (!invocation.busDirectory.empty()) {
        try {
            const std::vector<sim::DeviceFile> files = sim::LoadDeviceDirectory(invocation.busDirectory);
            if (invocation.realTime || sim::WantsRealTime(files)) clock_ = std::make_unique<sim::RealClock>();
            else clock_ = std::make_unique<sim::FakeClock>();
            bus_ = std::make_unique<sim::Bus>(*clock_);
            sim::AddDevicesToBus(*bus_, files);
        } catch (const sim::DeviceFileError& e) {
            throw UsageError(e.what());
        }
        auto simulated = std::make_unique<SimulatedPlatform>(*bus_);
        LoadBusImages(invocation.busDirectory, *simulated);
        devices_ = std::move(simulated);
    } else if (devices == nullptr) {
        devices_ = std::make_unique<MachinePlatform>();
    }

    Platform* inner = devices_ ? devices_.get() : devices;
    if (!invocation.traceFile.empty()) {
        traceFile_.open(invocation.traceFile, std::ios::out | std::ios::trunc);
        if (!traceFile_) throw UsageError("--trace: cannot write \"" + invocation.traceFile + "\"");
        tracing_ = std::make_unique<TracingPlatform>(*inner, traceFile_);
        inner = tracing_.get();
    }
    console_ = std::make_unique<ConsolePlatform>(*inner, err);
    // Outermost, so that what it holds back never reaches the trace.
    outermost_ = std::make_unique<IdentityWatch>(*console_);
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
