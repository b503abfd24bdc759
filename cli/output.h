// Putting results on a terminal or into JSON without letting a device's
// bytes (names, status texts) mangle either.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vxe::cli {

// Printable ASCII as it is, every other byte as \xNN; line ends at the end of
// the text are dropped.
std::string Printable(std::string_view text);

// A device path as it is, so that it can be given back as DEVICE (a Windows
// path keeps its backslashes); only control bytes become \xNN.
std::string PrintablePath(std::string_view path);

// A JSON string literal. UTF-8 passes through as it is; only what JSON
// requires is escaped (quote, backslash, control characters). A byte that is
// not part of well-formed UTF-8 becomes U+FFFD, so the output is valid JSON
// whatever a device sent and never shows other characters than it sent.
std::string JsonQuote(std::string_view text);

// The version of the JSON objects the command line prints; it goes up when a
// member changes meaning or goes away (new members may come at any time).
inline constexpr int kJsonSchema = 1;

// "0x090A"
std::string HexWord(uint16_t value);

// One JSON object, members in the order they are added.
class JsonObject {
public:
    JsonObject& addString(std::string_view key, std::string_view value);
    JsonObject& addNumber(std::string_view key, int64_t value);
    JsonObject& addBool(std::string_view key, bool value);
    JsonObject& addNull(std::string_view key);
    JsonObject& addJson(std::string_view key, std::string_view json);  // an object or array made elsewhere
    std::string str() const { return "{" + body_ + "}"; }

private:
    JsonObject& member(std::string_view key, std::string_view json);
    std::string body_;
};

std::string JsonArray(const std::vector<std::string>& elements);

// {"schema":1,"command":"list"}, to which the command adds its members.
JsonObject JsonDocument(std::string_view command);

// "error":{"message":...,"status":N} for an object that reports a failure.
JsonObject& AddError(JsonObject& object, std::string_view message, int status);

// "key:" padded so that the values of a block line up.
std::string Field(std::string_view key, std::string_view value);

}  // namespace vxe::cli
