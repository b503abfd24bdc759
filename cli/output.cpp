#include "cli/output.h"

namespace vxe::cli {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr size_t kFieldWidth = 18;

std::string_view WithoutLineEnds(std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
    return text;
}

}  // namespace

std::string Printable(std::string_view text) {
    std::string out;
    for (const char ch : WithoutLineEnds(text)) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            out += ch;
        } else if (byte == '\\') {
            out += "\\\\";
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

std::string PrintablePath(std::string_view path) {
    std::string out;
    for (const char ch : path) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte >= 0x20 && byte != 0x7F) {
            out += ch;
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

std::string JsonQuote(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        switch (byte) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20 || byte >= 0x7F) {
                    out += "\\u00";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 0x0F];
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

std::string HexWord(uint16_t value) {
    std::string out = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0x0F];
    return out;
}

JsonObject& JsonObject::member(std::string_view key, std::string_view json) {
    if (!body_.empty()) body_ += ",";
    body_ += JsonQuote(key) + ":" + std::string(json);
    return *this;
}

JsonObject& JsonObject::addString(std::string_view key, std::string_view value) {
    return member(key, JsonQuote(value));
}
JsonObject& JsonObject::addNumber(std::string_view key, int64_t value) { return member(key, std::to_string(value)); }
JsonObject& JsonObject::addBool(std::string_view key, bool value) { return member(key, value ? "true" : "false"); }
JsonObject& JsonObject::addNull(std::string_view key) { return member(key, "null"); }
JsonObject& JsonObject::addJson(std::string_view key, std::string_view json) { return member(key, json); }

std::string JsonArray(const std::vector<std::string>& elements) {
    std::string out = "[";
    for (size_t i = 0; i < elements.size(); ++i) out += (i == 0 ? "" : ",") + elements[i];
    return out + "]";
}

std::string Field(std::string_view key, std::string_view value) {
    std::string line(key);
    line += ":";
    if (value.empty()) return line;
    if (line.size() < kFieldWidth) line.resize(kFieldWidth, ' ');
    else line += ' ';
    return line + std::string(value);
}

}  // namespace vxe::cli
