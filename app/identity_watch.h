// Every command reopens the device by name, so an enclosure pulled
// mid-procedure whose node is given to the next device plugged would receive
// the rest of the procedure, or a header read from one enclosure would be
// written into another. A procedure therefore pins the identity of its
// device before its first command (DevicePin); from then on each command that
// writes to that path first checks that the path still names the same
// device, and once it does not, nothing more is sent to that path.
//
// The watch sits in the platform chain, under every procedure of the
// process at once (one per device of a batch, each on its own thread). It
// also keeps a procedure that has not begun writing from sending anything
// more once a held-back signal came: the procedure then ends without
// writing, and the program exits as the signal asked.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/forwarding_platform.h"

namespace vxe {

class IdentityWatch final : public ForwardingPlatform {
public:
    // The watch that DevicePins use while it lives (the last one made).
    explicit IdentityWatch(Platform& inner);
    ~IdentityWatch() override;
    IdentityWatch(const IdentityWatch&) = delete;
    IdentityWatch& operator=(const IdentityWatch&) = delete;

    PassThroughResult passThrough(const PassThroughRequest& request) override;

private:
    friend class DevicePin;
    struct Pin {
        std::string identity;
        bool writing = false;
        bool changed = false;
        bool interrupted = false;
        int holders = 0;
    };
    Pin* pin(const std::string& path, const std::optional<std::string>& identity);
    void unpin(const std::string& path);

    // Device paths name the same device whatever their ASCII case (the
    // device table keeps them in lower case).
    struct CaseBlind {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    std::mutex mutex_;
    std::map<std::string, Pin, CaseBlind> pins_;
    IdentityWatch* previous_;
};

class DevicePin {
public:
    // Takes the identity of `device` now, before the procedure's first
    // command, unless `identity` says what the device was when the device
    // pass first spoke to it. A second pin of a path already pinned joins
    // the first. Without a watch in the platform chain the pin installs one
    // of its own over the current platform for its lifetime.
    explicit DevicePin(const char* device, const std::optional<std::string>& identity = std::nullopt);
    ~DevicePin();
    DevicePin(const DevicePin&) = delete;
    DevicePin& operator=(const DevicePin&) = delete;

    const std::string& identity() const;
    // True once a write was held back because the path named another device.
    bool deviceChanged() const;
    // Looks now: false (and nothing more is sent to the path) when the path
    // no longer names the pinned device.
    bool stillSameDevice();
    // True once a command was held back because a signal came before the
    // procedure began writing.
    bool interrupted() const;
    // From here to the end of the procedure a held-back signal no longer
    // stops its commands: the flash is not left half-written.
    void beginWriting();

private:
    std::unique_ptr<IdentityWatch> own_;
    Platform* previous_ = nullptr;
    IdentityWatch* watch_ = nullptr;
    std::string path_;
    IdentityWatch::Pin* pin_ = nullptr;
};

}  // namespace vxe
