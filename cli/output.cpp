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

namespace {

// Length of the well-formed UTF-8 sequence at the start of `text`, or 0.
size_t Utf8SequenceLength(std::string_view text) {
    const auto at = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const auto continuation = [&](size_t i) { return i < text.size() && (at(i) & 0xC0) == 0x80; };
    const unsigned char lead = at(0);
    if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!continuation(1) || !continuation(2)) return 0;
        if (lead == 0xE0 && at(1) < 0xA0) return 0;   // overlong
        if (lead == 0xED && at(1) >= 0xA0) return 0;  // a surrogate
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!continuation(1) || !continuation(2) || !continuation(3)) return 0;
        if (lead == 0xF0 && at(1) < 0x90) return 0;   // overlong
        if (lead == 0xF4 && at(1) >= 0x90) return 0;  // beyond U+10FFFF
        return 4;
    }
    return 0;
}

}  // namespace

std::string JsonQuote(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x80) {
            const size_t length = Utf8SequenceLength(text.substr(i));
            if (length == 0) {
                out += "\\uFFFD";  // not UTF-8: replaced, never reinterpreted
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (byte) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20) {
                    out += "\\u00";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 0x0F];
                } else {
                    out += static_cast<char>(byte);
                }
        }
        ++i;
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

JsonObject JsonDocument(std::string_view command) {
    JsonObject document;
    document.addNumber("schema", kJsonSchema);
    if (!command.empty()) document.addString("command", command);
    return document;
}

JsonObject& AddError(JsonObject& object, std::string_view message, int status) {
    return object.addJson("error", JsonObject().addString("message", message).addNumber("status", status).str());
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
