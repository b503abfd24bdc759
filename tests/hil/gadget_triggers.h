// What the gadget does on its own at one exact command of a run, so that a
// scenario can pull the device out, stall it or hold it at a chosen point of
// the product's sequence, whatever the kernel sends besides:
//
//   KIND#N:ACTION     the N-th command of KIND (as CommandKind names it,
//                     counted from 1 since the gadget started)
//
// ACTION is one of
//   pause         hold the command until the scenario lets it go (SIGUSR2)
//   pull          leave the bus (unbind the UDC) instead of serving it
//   stall-data    withhold the data phase and the status; the data-out
//                 bytes stay unread, nothing is carried out
//   stall-status  carry the command out, data phase included, and withhold
//                 only the status wrapper
// Several triggers on one command act in the order given.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hil {

enum class TriggerAction { Pause, Pull, StallData, StallStatus };

struct Trigger {
    std::string kind;
    uint64_t occurrence = 0;
    TriggerAction action = TriggerAction::Pause;
};

// Nothing when the text is not KIND#N:ACTION with N >= 1 and a known action.
std::optional<Trigger> ParseTrigger(std::string_view text);

const char* TriggerActionName(TriggerAction action);

class TriggerSet {
public:
    void add(const Trigger& trigger) { triggers_.push_back(trigger); }
    bool empty() const { return triggers_.empty(); }

    // Counts one more command of `kind` and returns what to do with it, in
    // the order the triggers were given.
    std::vector<TriggerAction> onCommand(const std::string& kind);

private:
    std::vector<Trigger> triggers_;
    std::map<std::string, uint64_t> seen_;
};

}  // namespace hil
