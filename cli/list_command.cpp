#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/device_selection.h"
#include "cli/output.h"

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

    if (invocation.json) {
        std::vector<std::string> devices;
        for (size_t i = 0; i < session.listed(); ++i) {
            devices.push_back(JsonObject()
                                  .addNumber("index", static_cast<int64_t>(i))
                                  .addString("path", session.row(i).DevicePath)
                                  .addString("name", found.items[i])
                                  .addBool("detachAtExit", session.row(i).DetachAtExit != 0)
                                  .str());
        }
        io.out << JsonObject()
                      .addJson("devices", JsonArray(devices))
                      .addNumber("candidates", found.deviceCount)
                      .addBool("alreadyUpdated", found.alreadyUpdated)
                      .addString("state", state)
                      .addString("prompt", prompt)
                      .str()
               << '\n';
        return kExitSuccess;
    }
    for (size_t i = 0; i < session.listed(); ++i) {
        io.out << i << '\t' << PrintablePath(session.row(i).DevicePath) << '\t' << Printable(found.items[i]) << '\n';
    }
    io.out << "candidates: " << found.deviceCount << '\n' << WithoutLeadingBlanks(prompt) << '\n';
    return kExitSuccess;
}

}  // namespace vxe::cli
