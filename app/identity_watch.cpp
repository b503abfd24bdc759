#include "app/identity_watch.h"

#include <algorithm>

#include "app/interruption_guard.h"

namespace vxe {
namespace {

// The watch DevicePins join; guarded by its own mutex because the pins of a
// batch are taken on several threads.
std::mutex g_watchMutex;
IdentityWatch* g_watch = nullptr;

IdentityWatch* CurrentWatch() {
    const std::lock_guard lock(g_watchMutex);
    return g_watch;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IdentityWatch::CaseBlind::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return LowerAscii(x) < LowerAscii(y); });
}

IdentityWatch::IdentityWatch(Platform& inner) : ForwardingPlatform(inner) {
    const std::lock_guard lock(g_watchMutex);
    previous_ = g_watch;
    g_watch = this;
}

IdentityWatch::~IdentityWatch() {
    const std::lock_guard lock(g_watchMutex);
    if (g_watch == this) g_watch = previous_;
}

PassThroughResult IdentityWatch::passThrough(const PassThroughRequest& request) {
    if (request.path == nullptr) return inner().passThrough(request);
    std::unique_lock lock(mutex_);
    const auto found = pins_.find(request.path);
    if (found == pins_.end()) {
        lock.unlock();
        return inner().passThrough(request);
    }
    Pin& pin = found->second;
    if (pin.changed) return PassThroughResult{};  // nothing more goes to another device
    if (!pin.writing && PendingSignal() != 0) {
        pin.interrupted = true;
        return PassThroughResult{};
    }
    const bool writes = request.direction == DataDirection::Out;
    const std::string identity = pin.identity;
    lock.unlock();
    // Only a command that writes is checked: one system call before it, and
    // a read can change nothing. A header read from the new device never
    // reaches a flash, since every write after the change is held back.
    if (writes && inner().deviceIdentity(request.path) != identity) {
        lock.lock();
        pin.changed = true;
        return PassThroughResult{};
    }
    return inner().passThrough(request);
}

IdentityWatch::Pin* IdentityWatch::pin(const std::string& path, const std::optional<std::string>& identity) {
    std::unique_lock lock(mutex_);
    const auto found = pins_.find(path);
    if (found != pins_.end()) {
        ++found->second.holders;
        return &found->second;
    }
    lock.unlock();
    // Taken outside the lock: it asks the machine, which may take a moment.
    std::string taken = identity ? *identity : inner().deviceIdentity(path.c_str());
    lock.lock();
    Pin& pin = pins_[path];  // std::map keeps its elements in place
    if (pin.holders++ == 0) pin.identity = std::move(taken);
    return &pin;
}

void IdentityWatch::unpin(const std::string& path) {
    const std::lock_guard lock(mutex_);
    const auto found = pins_.find(path);
    if (found != pins_.end() && --found->second.holders == 0) pins_.erase(found);
}

DevicePin::DevicePin(const char* device, const std::optional<std::string>& identity)
    : path_(device == nullptr ? "" : device) {
    watch_ = CurrentWatch();
    if (watch_ == nullptr) {
        own_ = std::make_unique<IdentityWatch>(CurrentPlatform());
        previous_ = InstallPlatform(own_.get());
        watch_ = own_.get();
    }
    pin_ = watch_->pin(path_, identity);
}

DevicePin::~DevicePin() {
    watch_->unpin(path_);
    if (own_) InstallPlatform(previous_);
}

const std::string& DevicePin::identity() const { return pin_->identity; }

bool DevicePin::deviceChanged() const {
    const std::lock_guard lock(watch_->mutex_);
    return pin_->changed;
}

bool DevicePin::stillSameDevice() {
    const std::string now = watch_->inner().deviceIdentity(path_.c_str());
    const std::lock_guard lock(watch_->mutex_);
    if (now != pin_->identity) pin_->changed = true;
    return !pin_->changed;
}

bool DevicePin::interrupted() const {
    const std::lock_guard lock(watch_->mutex_);
    return pin_->interrupted;
}

void DevicePin::beginWriting() {
    const std::lock_guard lock(watch_->mutex_);
    pin_->writing = true;
}

}  // namespace vxe
