// The device file's grammar: its lines, comments, quoting, numbers, bytes and
// versions, each fault named with the file and line.
#include "sim/device_file_grammar.h"

#include <algorithm>
#include <charconv>

namespace sim::device_file {
namespace {

int HexDigit(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

// The quoted text that starts at v[at] (with \\, \" and \xNN escapes),
// appended to `out`; returns the position after its closing quote.
template <typename Out>
size_t QuotedText(const Context& c, const Entry& e, size_t at, Out& out) {
    const std::string& v = e.value;
    for (++at;; ++at) {
        if (at >= v.size()) c.fail(e, "text without its closing quote");
        if (v[at] == '"') return at + 1;
        if (v[at] != '\\') {
            out.push_back(static_cast<typename Out::value_type>(v[at]));
        } else if (at + 1 < v.size() && (v[at + 1] == '\\' || v[at + 1] == '"')) {
            out.push_back(static_cast<typename Out::value_type>(v[++at]));
        } else if (at + 3 < v.size() && v[at + 1] == 'x' && HexDigit(v[at + 2]) >= 0 && HexDigit(v[at + 3]) >= 0) {
            out.push_back(static_cast<typename Out::value_type>(HexDigit(v[at + 2]) << 4 | HexDigit(v[at + 3])));
            at += 3;
        } else {
            c.fail(e, "unknown escape in quoted text (use \\\\, \\\" or \\xNN)");
        }
    }
}

// Drops a comment: a '#' outside quoted text and everything after it.
std::string_view WithoutComment(std::string_view line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (quoted && line[i] == '\\') ++i;  // an escaped character, quote or not
        else if (line[i] == '"') quoted = !quoted;
        else if (line[i] == '#' && !quoted) return line.substr(0, i);
    }
    return line;
}

}  // namespace

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
        size_t end = at;
        while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
        if (end > at) words.push_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

std::optional<uint64_t> Number(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

uint64_t NumberIn(const Context& c, const Entry& e, std::string_view text, uint64_t low, uint64_t high) {
    const std::optional<uint64_t> n = Number(text);
    if (!n || *n < low || *n > high) {
        c.fail(e, "expected a number from " + std::to_string(low) + " to " + std::to_string(high) +
                      " (decimal, or hexadecimal with 0x), got \"" + std::string(text) + "\"");
    }
    return *n;
}

uint64_t ValueIn(const Context& c, const Entry& e, uint64_t low, uint64_t high) {
    return NumberIn(c, e, e.value, low, high);
}

bool YesNo(const Context& c, const Entry& e) {
    if (e.value == "yes") return true;
    if (e.value == "no") return false;
    c.fail(e, "expected yes or no, got \"" + e.value + "\"");
}

// A text value: as written, or in double quotes (for text that holds '#',
// such as a Windows device path).
std::string Text(const Context& c, const Entry& e) {
    if (e.value.empty() || e.value.front() != '"') return e.value;
    std::string text;
    if (QuotedText(c, e, 0, text) != e.value.size()) c.fail(e, "unexpected text after the closing quote");
    return text;
}

// Hexadecimal bytes ("F4 E7", "F4E7") and quoted text ("c731", with \\, \"
// and \xNN escapes), in any mix.
std::vector<uint8_t> Bytes(const Context& c, const Entry& e) {
    std::vector<uint8_t> bytes;
    const std::string& v = e.value;
    size_t at = 0;
    while (at < v.size()) {
        if (v[at] == ' ' || v[at] == '\t') {
            ++at;
        } else if (v[at] == '"') {
            at = QuotedText(c, e, at, bytes);
        } else {
            size_t end = at;
            while (end < v.size() && v[end] != ' ' && v[end] != '\t' && v[end] != '"') ++end;
            const std::string_view token(v.data() + at, end - at);
            if (token.size() % 2 != 0 || !std::all_of(token.begin(), token.end(), [](char ch) { return HexDigit(ch) >= 0; })) {
                c.fail(e, "expected hexadecimal bytes (\"F4 E7\") or quoted text, got \"" + std::string(token) + "\"");
            }
            for (size_t i = 0; i < token.size(); i += 2) {
                bytes.push_back(static_cast<uint8_t>(HexDigit(token[i]) << 4 | HexDigit(token[i + 1])));
            }
            at = end;
        }
    }
    return bytes;
}

std::vector<uint8_t> DottedVersion(const Context& c, const Entry& e, size_t parts) {
    std::vector<uint8_t> numbers;
    size_t at = 0;
    const std::string& v = e.value;
    while (at <= v.size()) {
        const size_t dot = std::min(v.find('.', at), v.size());
        const std::optional<uint64_t> n = Number(std::string_view(v).substr(at, dot - at));
        if (!n || *n > 255) break;
        numbers.push_back(static_cast<uint8_t>(*n));
        at = dot + 1;
    }
    if (numbers.size() != parts || at != v.size() + 1) {
        c.fail(e, "expected " + std::string(parts == 3 ? "three" : "two") +
                      " numbers from 0 to 255 separated by dots, got \"" + v + "\"");
    }
    return numbers;
}

std::vector<Entry> ReadEntries(std::string_view text, const std::string& fileName) {
    std::vector<Entry> entries;
    int lineNumber = 0;
    size_t at = 0;
    while (at <= text.size()) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line = Trim(WithoutComment(text.substr(at, end - at)));
        ++lineNumber;
        at = end + 1;
        if (line.empty()) continue;
        const std::string where = fileName + ":" + std::to_string(lineNumber) + ": ";
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) throw DeviceFileError(where + "expected \"key = value\"");
        const std::vector<std::string_view> left = Words(line.substr(0, equals));
        if (left.empty()) throw DeviceFileError(where + "a value without a key");
        Entry entry{lineNumber, std::string(left[0]), "", std::string(Trim(line.substr(equals + 1)))};
        const Key* key = FindKey(entry.key);
        if (key == nullptr) throw DeviceFileError(where + entry.key + ": unknown key");
        if (key->takesArgument && left.size() != 2) {
            throw DeviceFileError(where + entry.key + ": expected \"" + entry.key + " ADDRESS = value\"");
        }
        if (!key->takesArgument && left.size() != 1) {
            throw DeviceFileError(where + entry.key + ": unexpected \"" + std::string(left[1]) + "\" before '='");
        }
        if (key->takesArgument) entry.argument = std::string(left[1]);
        if (!key->repeatable) {
            for (const Entry& earlier : entries) {
                if (earlier.key == entry.key) {
                    throw DeviceFileError(where + entry.key + ": given twice (first on line " +
                                          std::to_string(earlier.line) + ")");
                }
            }
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace sim::device_file
