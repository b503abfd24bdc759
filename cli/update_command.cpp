#include <algorithm>
#include <atomic>
#include <istream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/device_selection.h"
#include "cli/device_update.h"
#include "cli/output.h"

namespace vxe::cli {
namespace {

bool Answered(const CommandIo& io, const std::string& question) {
    io.err << question << " [y/N] " << std::flush;
    std::string answer;
    const bool answered = io.terminal.input != nullptr && std::getline(*io.terminal.input, answer);
    if (!answered || !io.terminal.inputIsTerminal) io.err << '\n';
    if (!answered) return false;
    std::transform(answer.begin(), answer.end(), answer.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' ')) answer.pop_back();
    return answer == "y" || answer == "yes";
}

// Separate devices at once, each under its own procedure; the reports come
// back in the order of `paths`.
std::vector<DeviceUpdate> UpdateDevices(const std::vector<std::string>& paths, unsigned jobs,
                                        const DeviceUpdateSettings& settings) {
    std::vector<DeviceUpdate> updates(paths.size());
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i = next++; i < paths.size(); i = next++) updates[i] = UpdateDevice(paths[i], settings);
    };
    const size_t threads = std::min<size_t>(jobs, paths.size());
    if (threads <= 1) {
        work();
        return updates;
    }
    std::vector<std::thread> workers;
    for (size_t t = 0; t < threads; ++t) workers.emplace_back(work);
    for (std::thread& worker : workers) worker.join();
    return updates;
}

int UpdateAll(const Invocation& invocation, const CommandIo& io) {
    const DiscoverySession session;
    const DiscoveryResult& found = session.result();
    std::vector<std::string> paths;
    for (size_t i = 0; i < session.listed(); ++i) paths.emplace_back(session.row(i).DevicePath);
    std::vector<std::string> current;
    for (const ListedDevice& device : found.current) current.push_back(device.path);
    if (invocation.force) paths.insert(paths.end(), current.begin(), current.end());
    if (paths.empty() && current.empty()) {
        return io.fail(invocation, kExitNoDevice, "no VXE720 enclosure found (see fwupdate-cli list)");
    }

    if (!paths.empty() && !invocation.yes &&
        !Answered(io, "Update " + std::to_string(paths.size()) + " device" + (paths.size() == 1 ? "" : "s") +
                          " with the firmware built into this program?")) {
        return io.fail(invocation, kExitFailed, "not confirmed; nothing was written");
    }

    DeviceUpdateSettings settings;
    settings.force = invocation.force;
    std::vector<DeviceUpdate> updates = UpdateDevices(paths, invocation.jobs, settings);
    if (!invocation.force) {
        for (const std::string& path : current) {
            DeviceUpdate skipped;
            skipped.path = path;
            skipped.state = UpdateState::UpToDate;
            skipped.exitStatus = kExitUpToDate;
            updates.push_back(skipped);
        }
    }

    size_t updated = 0, failed = 0, upToDate = 0;
    for (const DeviceUpdate& u : updates) {
        if (u.state == UpdateState::Updated) ++updated;
        else if (u.state == UpdateState::UpToDate) ++upToDate;
        else ++failed;
    }
    const int status = failed > 0 ? kExitFailed : updated > 0 ? kExitSuccess : kExitUpToDate;
    const std::string summary = std::to_string(updates.size()) + " device" + (updates.size() == 1 ? "" : "s") + ": " +
                                std::to_string(updated) + " updated, " + std::to_string(failed) + " failed, " +
                                std::to_string(upToDate) + " already current";

    if (invocation.json) {
        std::vector<std::string> devices;
        for (const DeviceUpdate& u : updates) {
            JsonObject device;
            devices.push_back(AddDeviceUpdate(device, u).str());
        }
        JsonObject document = JsonDocument("update");
        document.addBool("all", true)
            .addJson("devices", JsonArray(devices))
            .addNumber("updated", static_cast<int64_t>(updated))
            .addNumber("failed", static_cast<int64_t>(failed))
            .addNumber("upToDate", static_cast<int64_t>(upToDate))
            .addNumber("exitStatus", status);
        if (failed > 0) AddError(document, summary, status);
        io.out << document.str() << '\n';
    } else {
        for (const DeviceUpdate& u : updates) {
            io.out << Printable(u.path) << '\t' << UpdateStateName(u.state);
            if (!u.resultText.empty()) io.out << '\t' << Printable(u.resultText.substr(u.resultText.find_first_not_of(' ')));
            else if (!u.error.empty()) io.out << '\t' << Printable(u.error);
            io.out << '\n';
        }
        io.out << summary << '\n';
    }
    return status;
}

}  // namespace

// YES on one device, or on every listed one with --all.
int UpdateCommand(const Invocation& invocation, const CommandIo& io) {
    if (invocation.all) return UpdateAll(invocation, io);

    std::optional<DiscoverySession> session;
    const std::optional<std::string> path = SelectDevice(invocation.device, session);
    if (!path) return io.noSuchDevice(invocation);

    DeviceUpdateSettings settings;
    settings.force = invocation.force;
    if (io.terminal.outputIsTerminal && !invocation.json) settings.progress = &io.out;
    if (!invocation.yes) {
        settings.confirm = [&](const DeviceUpdate& update) {
            return Answered(io, "Update " + Printable(update.path) + " (" + ChipSummary(update.readout) +
                                    ") with the firmware built into this program?");
        };
    }
    const DeviceUpdate update = UpdateDevice(*path, settings);
    if (update.state == UpdateState::NotConfirmed) return io.fail(invocation, kExitFailed, update.error);

    if (invocation.json) {
        JsonObject document = JsonDocument("update");
        io.out << AddDeviceUpdate(document, update).str() << '\n';
    } else {
        PrintDeviceUpdate(io.out, update);
    }
    return update.exitStatus;
}

}  // namespace vxe::cli
