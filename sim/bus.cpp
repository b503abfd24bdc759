#include "sim/bus.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <cstdint>
#include <random>
#include <stdexcept>

namespace sim {
namespace {

bool SamePath(const std::string& a, const std::string& b) {
    const auto lower = [](unsigned char ch) { return ch >= 'A' && ch <= 'Z' ? ch + ('a' - 'A') : ch; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

// Buses built in code are private to their process, and each bus to itself:
// their devices' identities (which key the device locks and find a cut-off
// update's kept flash) must meet no other process's, nor a later bus's that
// happens to be built where an earlier one was.
std::string NewBusToken() {
    static const std::string process = [] {
        std::random_device random;
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        return std::to_string(random()) + "-" + std::to_string(now);
    }();
    static std::atomic<uint64_t> buses{0};
    return process + "-" + std::to_string(++buses);
}

std::optional<int> SignalNamed(std::string_view name) {
    if (name.starts_with("SIG")) name.remove_prefix(3);
    if (!name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const int number = name.size() <= 3 ? std::stoi(std::string(name)) : 0;
        return number > 0 && number < NSIG ? std::optional<int>(number) : std::nullopt;
    }
#ifndef _WIN32
    // RTMIN+n and RTMAX-n.
    for (const bool fromTop : {false, true}) {
        const std::string_view base = fromTop ? "RTMAX" : "RTMIN";
        if (!name.starts_with(base)) continue;
        const std::string_view offset = name.substr(base.size());
        int n = 0;
        if (!offset.empty()) {
            if (offset.front() != (fromTop ? '-' : '+') || offset.size() < 2 || offset.size() > 3) return std::nullopt;
            for (const char c : offset.substr(1)) {
                if (c < '0' || c > '9') return std::nullopt;
                n = n * 10 + (c - '0');
            }
        }
        const int signal = fromTop ? SIGRTMAX - n : SIGRTMIN + n;
        return signal >= SIGRTMIN && signal <= SIGRTMAX ? std::optional<int>(signal) : std::nullopt;
    }
    if (name == "IO") return SIGIO;  // the C library calls it POLL
    if (name == "IOT") return SIGABRT;
    for (int signal = 1; signal < NSIG; ++signal) {
        const char* abbrev = sigabbrev_np(signal);
        if (abbrev != nullptr && name == abbrev) return signal;
    }
#else
    if (name == "INT") return SIGINT;
    if (name == "TERM") return SIGTERM;
#endif
    return std::nullopt;
}

Bridge& Bus::add(std::string path, InterfaceClass cls, DeviceDescription description, bool usbStorage) {
    if (find(path) != nullptr) throw std::invalid_argument("a device with this path is already on the bus: " + path);
    auto bridge = std::make_shared<Bridge>(std::move(description), clock_);
    Bridge& added = *bridge;
    devices_.push_back(BusDevice{path, cls, usbStorage, true, std::move(bridge), "sim:" + token_ + ":" + path, std::nullopt, std::nullopt});
    notify(BusEvent{BusEventKind::Arrival, std::move(path)});
    return added;
}

void Bus::giveToAnotherDevice(const std::string& path) {
    if (BusDevice* device = find(path)) device->identity += "+another";
}

void Bus::unplug(const std::string& path) {
    BusDevice* device = find(path);
    if (device == nullptr || !device->plugged) return;
    device->plugged = false;
    notify(BusEvent{BusEventKind::Removal, device->path});
}

// Plugging in powers the bridge up afresh.
void Bus::plug(const std::string& path) {
    BusDevice* device = find(path);
    if (device == nullptr || device->plugged) return;
    device->plugged = true;
    device->bridge->powerCycle();
    notify(BusEvent{BusEventKind::Arrival, device->path});
}

void Bus::remove(const std::string& path) {
    const auto it = std::find_if(devices_.begin(), devices_.end(),
                                 [&](const BusDevice& d) { return SamePath(d.path, path); });
    if (it == devices_.end()) return;
    const bool wasPlugged = it->plugged;
    std::string removedPath = it->path;
    devices_.erase(it);
    if (wasPlugged) notify(BusEvent{BusEventKind::Removal, std::move(removedPath)});
}

std::vector<std::string> Bus::paths(InterfaceClass cls) const {
    std::vector<std::string> result;
    for (const BusDevice& d : devices_) {
        if (d.interfaceClass == cls && d.usbStorage && d.plugged && d.bridge->present()) result.push_back(d.path);
    }
    return result;
}

BusDevice* Bus::find(const std::string& path) {
    for (BusDevice& d : devices_) {
        if (SamePath(d.path, path)) return &d;
    }
    return nullptr;
}

Bridge* Bus::bridge(const std::string& path) {
    BusDevice* device = find(path);
    return device == nullptr ? nullptr : device->bridge.get();
}

void Bus::addListener(std::function<void(const BusEvent&)> listener) { listeners_.push_back(std::move(listener)); }

// A listener may add or remove devices, or add listeners, while it is told.
void Bus::notify(const BusEvent& event) {
    const auto listeners = listeners_;
    for (const auto& listener : listeners) listener(event);
}

}  // namespace sim
