#include "gadget_triggers.h"

#include <charconv>

namespace hil {

std::optional<Trigger> ParseTrigger(std::string_view text) {
    const size_t hash = text.find('#');
    const size_t colon = text.find(':', hash == std::string_view::npos ? 0 : hash);
    if (hash == 0 || hash == std::string_view::npos || colon == std::string_view::npos) return std::nullopt;

    Trigger trigger;
    trigger.kind = std::string(text.substr(0, hash));
    const std::string_view count = text.substr(hash + 1, colon - hash - 1);
    const auto [end, ec] = std::from_chars(count.data(), count.data() + count.size(), trigger.occurrence);
    if (ec != std::errc{} || end != count.data() + count.size() || trigger.occurrence == 0) return std::nullopt;

    const std::string_view action = text.substr(colon + 1);
    if (action == "pause") trigger.action = TriggerAction::Pause;
    else if (action == "pull") trigger.action = TriggerAction::Pull;
    else if (action == "stall-data") trigger.action = TriggerAction::StallData;
    else if (action == "stall-status") trigger.action = TriggerAction::StallStatus;
    else return std::nullopt;
    return trigger;
}

const char* TriggerActionName(TriggerAction action) {
    switch (action) {
        case TriggerAction::Pause: return "pause";
        case TriggerAction::Pull: return "pull";
        case TriggerAction::StallData: return "stall-data";
        case TriggerAction::StallStatus: return "stall-status";
    }
    return "?";
}

std::vector<TriggerAction> TriggerSet::onCommand(const std::string& kind) {
    const uint64_t occurrence = ++seen_[kind];
    std::vector<TriggerAction> actions;
    for (const Trigger& trigger : triggers_) {
        if (trigger.kind == kind && trigger.occurrence == occurrence) actions.push_back(trigger.action);
    }
    return actions;
}

}  // namespace hil
