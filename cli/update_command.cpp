#include <algorithm>
#include <atomic>
#include <functional>
#include <istream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/device_selection.h"
#include "app/interruption_guard.h"
#include "app/sleep_inhibitor.h"
#include "cli/device_update.h"
#include "cli/guarded_procedure.h"
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
                                        const DeviceUpdateSettings& settings,
                                        const std::function<bool(const std::vector<DeviceUpdate>&)>& stop) {
    std::vector<DeviceUpdate> updates(paths.size());
    std::atomic<size_t> next{0};
    const auto work = [&] {
        // A held-back signal lets the devices under way finish; no new one starts.
        for (size_t i = next++; i < paths.size() && !stop(updates); i = next++) {
            updates[i] = UpdateDevice(paths[i], settings);
        }
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
    if (paths.empty() && current.empty() && found.busy.empty()) {
        return io.fail(invocation, kExitNoDevice, "no VXE720 enclosure found (see fwupdate-cli list)");
    }

    if (!paths.empty() && !invocation.yes &&
        !Answered(io, "Update " + std::to_string(paths.size()) + " device" + (paths.size() == 1 ? "" : "s") +
                          " with the firmware built into this program?")) {
        return io.fail(invocation, kExitFailed, "not confirmed; nothing was written");
    }

    DeviceUpdateSettings settings;
    settings.force = invocation.force;
    settings.invocation = &invocation;
    settings.lockDevice = true;
    std::vector<DeviceUpdate> updates;
    int deferredSignal = 0;
    if (invocation.jobs <= 1) {
        // One device after the other, each under the whole guard of one procedure.
        const auto signalled = [](const std::vector<DeviceUpdate>& done) {
            return std::any_of(done.begin(), done.end(), [](const DeviceUpdate& u) { return u.deferredSignal != 0; });
        };
        updates = UpdateDevices(paths, 1, settings, signalled);
        for (const DeviceUpdate& u : updates) {
            if (deferredSignal == 0) deferredSignal = u.deferredSignal;
        }
    } else {
        // The signal and sleep guards are process-wide: one for the whole batch.
        settings.guardWrites = false;
        const InterruptionGuard interruption;
        const SleepInhibitor inhibitor;
        updates = UpdateDevices(paths, invocation.jobs, settings,
                                [&](const std::vector<DeviceUpdate>&) { return interruption.deferredSignal() != 0; });
        deferredSignal = interruption.deferredSignal();
    }
    // Devices a held-back signal kept from starting are left out of the report.
    std::erase_if(updates, [](const DeviceUpdate& u) { return u.path.empty(); });
    // Another procedure's devices were sent nothing: not updated, so not a success.
    for (const BusyDevice& device : found.busy) {
        DeviceUpdate passedOver;
        passedOver.path = device.path;
        passedOver.busy = true;
        passedOver.error = device.reason;
        updates.push_back(passedOver);
    }
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
            devices.push_back(AddDeviceUpdate(device, u, true).str());
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
            // The report's lines keep their shape; where each header went is
            // said beside them, on the error stream.
            if (!u.oldHeaderFile.empty()) {
                io.err << "fwupdate-cli: update: " << Printable(u.path) << ": old header: " << Printable(u.oldHeaderFile)
                       << '\n';
            }
        }
        io.out << summary << '\n';
    }
    if (deferredSignal == 0) return status;
    io.err << "fwupdate-cli: update: " << InterruptionNote(deferredSignal) << '\n';
    return ExitStatusForSignal(deferredSignal);
}

}  // namespace

// YES on one device, or on every listed one with --all.
int UpdateCommand(const Invocation& invocation, const CommandIo& io) {
    if (invocation.all) return UpdateAll(invocation, io);

    std::optional<DiscoverySession> session;
    // Let go before the session's detach, which takes each device's lock itself.
    DeviceLock lock;
    const std::optional<std::string> path = SelectDevice(invocation.device, session);
    if (!path) return io.noSuchDevice(invocation, session ? &*session : nullptr);
    if (const std::optional<int> refused = RefuseUnlessLocked(invocation, io, *path, lock, session.has_value())) {
        return *refused;
    }

    DeviceUpdateSettings settings;
    settings.force = invocation.force;
    if (io.terminal.outputIsTerminal && !invocation.json) settings.progress = &io.out;
    if (!invocation.yes) {
        settings.confirm = [&](const DeviceUpdate& update) {
            return Answered(io, "Update " + Printable(update.path) + " (" + ChipSummary(update.readout) +
                                    ") with the firmware built into this program?");
        };
    }
    settings.invocation = &invocation;
    settings.keptHeaderOut = &io.out;
    const DeviceUpdate update = UpdateDevice(*path, settings);
    if (update.state == UpdateState::NotConfirmed) return io.fail(invocation, kExitFailed, update.error);

    if (invocation.json) {
        JsonObject document = JsonDocument("update");
        io.out << AddDeviceUpdate(document, update).str() << '\n';
    } else {
        PrintDeviceUpdate(io.out, update);
    }
    return FinishGuarded(invocation, io, *path, GuardedRun{update.deferredSignal, update.deviceChanged}, update.exitStatus);
}

}  // namespace vxe::cli
