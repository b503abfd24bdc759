// Inside the device file reader, shared by its three pieces: the line grammar
// and value parsers (device_file_grammar.cpp), the key table that applies the
// values (device_file_keys.cpp) and the loader (device_files.cpp). Not part of
// the simulator's interface.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/device_files.h"
#include "sim/profiles.h"

namespace sim::device_file {

// One `key [argument] = value` line.
struct Entry {
    int line = 0;
    std::string key;
    std::string argument;
    std::string value;
};

enum class ProfileKind { Enclosure, Family, PlainDisk };

// What the keys apply to while a description is turned into a device.
struct Context {
    Context(const std::string& file, const std::string& dir) : fileName(file), directory(dir) {}

    const std::string& fileName;
    const std::string& directory;
    ProfileKind profile = ProfileKind::Enclosure;
    int family = 10;  // the bridge's family; 0 for a plain disk
    Route route = Route::InquiryTag;
    ProfileOptions options;
    std::optional<Timing> timing;
    DeviceFile device;

    [[noreturn]] void fail(const Entry& entry, const std::string& problem) const {
        throw DeviceFileError(fileName + ":" + std::to_string(entry.line) + ": " + entry.key + ": " + problem);
    }
};

std::string_view Trim(std::string_view text);
std::vector<std::string_view> Words(std::string_view text);
std::optional<uint64_t> Number(std::string_view text);
uint64_t NumberIn(const Context& c, const Entry& e, std::string_view text, uint64_t low, uint64_t high);
uint64_t ValueIn(const Context& c, const Entry& e, uint64_t low, uint64_t high);
bool YesNo(const Context& c, const Entry& e);
std::string Text(const Context& c, const Entry& e);
std::vector<uint8_t> Bytes(const Context& c, const Entry& e);

template <size_t N>
std::array<uint8_t, N> FixedBytes(const Context& c, const Entry& e) {
    const std::vector<uint8_t> bytes = Bytes(c, e);
    if (bytes.size() != N) {
        c.fail(e, "expected exactly " + std::to_string(N) + " bytes, got " + std::to_string(bytes.size()));
    }
    std::array<uint8_t, N> fixed{};
    std::copy(bytes.begin(), bytes.end(), fixed.begin());
    return fixed;
}

std::vector<uint8_t> DottedVersion(const Context& c, const Entry& e, size_t parts);

// Keys are applied in stages: the profile first, then what shapes the
// profile, then what overrides the finished description.
enum class Stage { Profile, Option, Override };

struct Key {
    std::string_view name;
    Stage stage;
    bool takesArgument;
    bool repeatable;
    void (*apply)(Context&, const Entry&);
};

const Key* FindKey(std::string_view name);

// The file's `key = value` lines, each checked against the key table for its
// shape (argument, repeats); the values are read by the keys.
std::vector<Entry> ReadEntries(std::string_view text, const std::string& fileName);

}  // namespace sim::device_file
