#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/device_selection.h"
#include "cli/output.h"
#include "device/device_enumeration.h"

namespace vxe::cli {
namespace {

// The window's prompts, as it shows them.
constexpr std::string_view kReadyPrompt = "Click 'Yes' to proceed with the firmware update";
constexpr std::string_view kAlreadyUpdatedPrompt = "               The chip already updated!!";
constexpr std::string_view kNoDevicePrompt = "                 No device found!!";

std::string_view WithoutLeadingBlanks(std::string_view text) {
    return text.substr(std::min(text.find_first_not_of(' '), text.size()));
}

}  // namespace

int ListCommand(const Invocation& invocation, const CommandIo& io) {
    const DiscoverySession session;
    const DiscoveryResult& found = session.result();
    const std::string_view prompt = session.listed() > 0   ? kReadyPrompt
                                    : found.alreadyUpdated ? kAlreadyUpdatedPrompt
                                                           : kNoDevicePrompt;
    const char* state = session.listed() > 0 ? "ready" : found.alreadyUpdated ? "already-updated" : "no-device";

    const int32_t beyond = InterfacesBeyondSlots();

    if (invocation.json) {
        std::vector<std::string> devices;
        for (size_t i = 0; i < session.listed(); ++i) {
            devices.push_back(JsonObject()
                                  .addNumber("index", static_cast<int64_t>(i))
                                  .addString("path", session.row(i).DevicePath)
                                  .addString("name", found.items[i])
                                  .addBool("detachAtExit", session.row(i).DetachAtExit != 0)
                                  .addBool("needsUpdate", true)
                                  .addBool("busy", false)
                                  .str());
        }
        // Left out of the window's list: nothing to do for them.
        for (const ListedDevice& device : found.current) {
            devices.push_back(JsonObject()
                                  .addNull("index")
                                  .addString("path", device.path)
                                  .addString("name", device.item)
                                  .addBool("detachAtExit", false)
                                  .addBool("needsUpdate", false)
                                  .addBool("busy", false)
                                  .str());
        }
        // Passed over: another procedure holds them, so what they are is unknown.
        for (const BusyDevice& device : found.busy) {
            devices.push_back(JsonObject()
                                  .addNull("index")
                                  .addString("path", device.path)
                                  .addString("name", "")
                                  .addBool("detachAtExit", false)
                                  .addNull("needsUpdate")
                                  .addBool("busy", true)
                                  .addString("reason", device.reason)
                                  .str());
        }
        io.out << JsonDocument("list")
                      .addJson("devices", JsonArray(devices))
                      .addNumber("candidates", found.deviceCount)
                      .addNumber("beyondSlots", beyond)
                      .addBool("alreadyUpdated", found.alreadyUpdated)
                      .addString("state", state)
                      .addString("prompt", prompt)
                      .addJson("messages", NoticesJson(io.notices.notices()))
                      .str()
               << '\n';
        return kExitSuccess;
    }
    for (size_t i = 0; i < session.listed(); ++i) {
        io.out << i << '\t' << PrintablePath(session.row(i).DevicePath) << '\t' << Printable(found.items[i])
               << "\tneeds-update\n";
    }
    for (const ListedDevice& device : found.current) {
        io.out << "-\t" << PrintablePath(device.path) << '\t' << Printable(device.item) << "\tcurrent\n";
    }
    for (const BusyDevice& device : found.busy) {
        io.out << "-\t" << PrintablePath(device.path) << "\t-\tbusy\t" << Printable(device.reason) << '\n';
    }
    io.out << "candidates: " << found.deviceCount << '\n';
    if (beyond > 0) {
        io.out << beyond << " more USB storage device" << (beyond == 1 ? " is" : "s are") << " past the first "
               << kPathSlotCount << " and not looked at\n";
    }
    io.out << WithoutLeadingBlanks(prompt) << '\n';
    return kExitSuccess;
}

}  // namespace vxe::cli
