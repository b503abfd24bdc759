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
#include "app/identity_watch.h"
#include "app/write_guard.h"
#include "cli/device_update.h"
#include "cli/guarded_procedure.h"
#include "cli/output.h"

namespace vxe::cli {
namespace {

bool Answered(const CommandIo& io, const std::string& question) {
    io.err << question << " [y/N] " << std::flush;
    std::string answer;
    bool answered = false;
    {
        // Ctrl-C at the question ends the wait for the answer.
        const InterruptibleReads interruptible;
        answered = io.terminal.input != nullptr && std::getline(*io.terminal.input, answer) && PendingSignal() == 0;
    }
    if (!answered || !io.terminal.inputIsTerminal) io.err << '\n';
    if (!answered) return false;
    std::transform(answer.begin(), answer.end(), answer.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' ')) answer.pop_back();
    return answer == "y" || answer == "yes";
}

// Separate devices at once, each under its own procedure; the reports come
// back in the order of `paths`.
std::vector<DeviceUpdate> UpdateDevices(const std::vector<std::string>& paths,
                                        const std::vector<std::optional<std::string>>& identities, unsigned jobs,
                                        const DeviceUpdateSettings& settings) {
    std::vector<DeviceUpdate> updates(paths.size());
    std::atomic<size_t> next{0};
    const auto work = [&] {
        // A held-back signal lets the devices under way finish; no new one starts.
        for (size_t i = next++; i < paths.size() && PendingSignal() == 0; i = next++) {
            DeviceUpdateSettings mine = settings;
            mine.identity = identities[i];
            updates[i] = UpdateDevice(paths[i], mine);
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
    // A fleet is examined as it is updated: up to --jobs devices at once.
    const DiscoverySession session(invocation.jobs);
    const DiscoveryResult& found = session.result();
    std::vector<std::string> paths;
    std::vector<std::optional<std::string>> identities;
    for (size_t i = 0; i < session.listed(); ++i) {
        paths.emplace_back(session.row(i).DevicePath);
        identities.emplace_back(found.identities[i]);
    }
    std::vector<std::string> current;
    for (const ListedDevice& device : found.current) current.push_back(device.path);
    if (invocation.force) {
        paths.insert(paths.end(), current.begin(), current.end());
        identities.resize(paths.size());
    }
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
    settings.err = &io.err;
    settings.lockDevice = true;
    // Each device under the whole guard of its own procedure, however many
    // run at once.
    std::vector<DeviceUpdate> updates =
        UpdateDevices(paths, identities, invocation.jobs, settings);
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
    const int signal = PendingSignal();
    const int status = signal != 0   ? ExitStatusForSignal(signal)
                       : failed > 0  ? kExitFailed
                       : updated > 0 ? kExitSuccess
                                     : kExitUpToDate;
    std::string summary = std::to_string(updates.size()) + " device" + (updates.size() == 1 ? "" : "s") + ": " +
                                std::to_string(updated) + " updated, " + std::to_string(failed) + " failed, " +
                                std::to_string(upToDate) + " already current";
    const std::string interruption =
        signal == 0 ? std::string() : SignalName(signal) + " came: the devices under way were finished, no other was begun";

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
        if (status != kExitSuccess && status != kExitUpToDate) {
            AddError(document, interruption.empty() ? summary : summary + "; " + interruption, status);
        }
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
    if (!interruption.empty()) io.err << "fwupdate-cli: update: " << interruption << '\n';
    return status;
}

}  // namespace

// YES on one device, or on every listed one with --all.
int UpdateCommand(const Invocation& invocation, const CommandIo& io) {
    if (invocation.all) return UpdateAll(invocation, io);

    // The pin outlives the session, whose detach it checks too; the lock is
    // let go before that detach, which takes each device's lock itself.
    std::optional<DevicePin> pin;
    std::optional<DiscoverySession> session;
    DeviceLock lock;
    const std::optional<std::string> path = SelectDevice(invocation.device, session);
    if (!path) return io.noSuchDevice(invocation, session ? &*session : nullptr);
    // The device is fixed before the procedure's first command; the question
    // is asked inside that span.
    pin.emplace(path->c_str(), PassIdentity(session, *path));
    if (const std::optional<int> refused = RefuseUnlessLocked(invocation, io, *path, lock, session.has_value())) {
        return *refused;
    }
    if (!pin->stillSameDevice()) return io.fail(invocation, kExitFailed, DeviceChangedBeforeNote(Printable(*path)));

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
    if (!invocation.json) settings.keptHeaderOut = &io.out;
    settings.err = &io.err;
    const DeviceUpdate update = UpdateDevice(*path, settings);
    if (update.state == UpdateState::NotConfirmed) return io.fail(invocation, update.exitStatus, update.error);

    if (invocation.json) {
        JsonObject document = JsonDocument("update");
        io.out << AddDeviceUpdate(document, update).str() << '\n';
    } else {
        PrintDeviceUpdate(io.out, update);
    }
    return ReportEnding(invocation, io, Ending{update.exitStatus, update.notes});
}

}  // namespace vxe::cli
