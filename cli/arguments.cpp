#include "cli/arguments.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "app/kept_header.h"
#include "flash/backup_file.h"
#include "app/size_settings.h"

namespace vxe::cli {
namespace {

namespace fs = std::filesystem;

enum class Takes { Nothing, Value, OptionalValue };

struct OptionSpec {
    std::string_view name;
    Takes takes;
    std::optional<Command> only;  // none: every command takes it
};

constexpr OptionSpec kOptions[] = {
    {"--json", Takes::Nothing, std::nullopt},
    {"--trace", Takes::Value, std::nullopt},
    {"--bus", Takes::Value, std::nullopt},
    {"--chip-id", Takes::Value, Command::CheckFile},
    {"--real-time", Takes::Nothing, std::nullopt},
    {"--yes", Takes::Nothing, Command::Update},
    {"--header-from", Takes::Value, Command::Update},
    {"--force", Takes::Nothing, Command::Update},
    {"--all", Takes::Nothing, Command::Update},
    {"--jobs", Takes::Value, Command::Update},
    {"--firmware", Takes::Value, Command::Run},
    {"--erase-only", Takes::Nothing, Command::Run},
    {"--backup-only", Takes::OptionalValue, Command::Run},
    {"--flash-type", Takes::Value, Command::Run},
    {"--a1-chip", Takes::Nothing, Command::Run},
    {"--firmware-size", Takes::Value, Command::Run},
    {"--page-size", Takes::Value, Command::Run},
};

constexpr struct {
    std::string_view name;
    Command command;
} kCommands[] = {
    {"list", Command::List},     {"info", Command::Info}, {"check-file", Command::CheckFile},
    {"update", Command::Update}, {"run", Command::Run},
};

}  // namespace

std::optional<Command> CommandNamed(std::string_view name) {
    for (const auto& c : kCommands) {
        if (c.name == name) return c.command;
    }
    return std::nullopt;
}

namespace {

bool IsHelp(std::string_view arg) { return arg == "--help" || arg == "-h"; }

std::optional<uint64_t> ParseNumber(std::string_view text) {
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

template <typename Table>
uint32_t SizeFromTable(const std::string& option, const std::string& text, const Table& table) {
    const std::optional<uint64_t> n = ParseNumber(text);
    if (n && std::find(table.begin(), table.end(), static_cast<int64_t>(*n)) != table.end()) {
        return static_cast<uint32_t>(*n);
    }
    std::string choices;
    for (const int32_t size : table) choices += (choices.empty() ? "" : ", ") + std::to_string(size);
    throw UsageError(option + " must be one of " + choices + " (bytes), not \"" + text + "\"");
}

void RequireReadableFile(const std::string& what, const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) throw UsageError(what + " \"" + path + "\" does not exist");
    if (fs::is_directory(status)) throw UsageError(what + " \"" + path + "\" is a directory");
    // Opening a FIFO would wait for a writer; a device node is no file either.
    if (!fs::is_regular_file(status)) throw UsageError(what + " \"" + path + "\" is not a regular file");
    if (!std::ifstream(path, std::ios::binary)) throw UsageError(what + " \"" + path + "\" cannot be read");
}

void RequireBackupTarget(const std::string& path) {
    if (path.size() > kMaxBackupNameLength) {
        throw UsageError("the backup file name is longer than " + std::to_string(kMaxBackupNameLength) +
                         " characters");
    }
    std::error_code ec;
    if (fs::is_directory(path, ec)) throw UsageError("backup file \"" + path + "\" is a directory");
    const fs::path folder = fs::path(path).parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ec)) {
        throw UsageError("the folder of backup file \"" + path + "\" does not exist");
    }
}

struct Seen {
    std::vector<std::string_view> names;
    void once(std::string_view name) {
        if (std::find(names.begin(), names.end(), name) != names.end()) {
            throw UsageError(std::string(name) + " given twice");
        }
        names.push_back(name);
    }
};

}  // namespace

const char* CommandName(Command command) {
    for (const auto& c : kCommands) {
        if (c.command == command) return c.name.data();
    }
    return "fwupdate-cli";
}

std::optional<size_t> DeviceIndex(const std::string& device) {
    if (device.empty() || device.size() > 9 || !std::all_of(device.begin(), device.end(), [](char c) {
            return c >= '0' && c <= '9';
        })) {
        return std::nullopt;
    }
    return static_cast<size_t>(std::stoul(device));
}

Invocation ParseArguments(const std::vector<std::string>& args) {
    Invocation inv;
    if (args.empty()) throw UsageError("missing command (list, info, check-file, update or run)");
    if (IsHelp(args[0]) || args[0] == "help") {
        inv.command = Command::Help;
        if (args.size() > 1) {
            inv.helpFor = CommandNamed(args[1]);
            if (!inv.helpFor) throw UsageError("no help on \"" + args[1] + "\": there is no such command");
        }
        return inv;
    }
    if (args[0] == "--version") {
        inv.command = Command::Version;
        return inv;
    }
    const std::optional<Command> command = CommandNamed(args[0]);
    if (!command) throw UsageError("unknown command \"" + args[0] + "\" (list, info, check-file, update or run)");
    inv.command = *command;
    const std::string name = CommandName(inv.command);

    // Asking for help is never an error, whatever else the line holds.
    const auto end = std::find(args.begin() + 1, args.end(), "--");
    if (std::any_of(args.begin() + 1, end, [](const std::string& a) { return IsHelp(a); })) {
        inv.helpFor = inv.command;
        inv.command = Command::Help;
        return inv;
    }

    std::vector<std::string> positionals;
    std::optional<std::string> chipId, flashType, firmwareSize, pageSize, jobs;
    Seen seen;
    bool optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || arg.rfind('-', 0) != 0) {
            positionals.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string option = arg.substr(0, equals);
        const auto known = std::find_if(std::begin(kOptions), std::end(kOptions), [&](const OptionSpec& s) {
            return s.name == option && (!s.only || *s.only == inv.command);
        });
        if (known == std::end(kOptions)) throw UsageError(name + ": unknown option " + option);
        seen.once(known->name);

        std::optional<std::string> value;
        if (equals != std::string::npos) {
            if (known->takes == Takes::Nothing) throw UsageError(name + ": " + option + " takes no value");
            value = arg.substr(equals + 1);
        } else if (known->takes == Takes::Value) {
            if (i + 1 >= args.size()) throw UsageError(name + ": " + option + " needs a value");
            value = args[++i];
        } else if (known->takes == Takes::OptionalValue && !positionals.empty() && i + 1 < args.size() &&
                   args[i + 1].rfind('-', 0) != 0) {
            value = args[++i];  // after DEVICE, the next word is the option's own
        }

        if (option == "--json") inv.json = true;
        else if (option == "--trace") inv.traceFile = *value;
        else if (option == "--bus") inv.busDirectory = *value;
        else if (option == "--chip-id") chipId = value;
        else if (option == "--real-time") inv.realTime = true;
        else if (option == "--yes") inv.yes = true;
        else if (option == "--header-from") inv.headerFrom = *value;
        else if (option == "--force") inv.force = true;
        else if (option == "--all") inv.all = true;
        else if (option == "--jobs") jobs = value;
        else if (option == "--firmware") inv.firmwareFile = *value;
        else if (option == "--erase-only") inv.eraseOnly = true;
        else if (option == "--backup-only") {
            inv.backupOnly = true;
            inv.backupFile = value.value_or("");
        }
        else if (option == "--flash-type") flashType = value;
        else if (option == "--a1-chip") inv.a1Chip = true;
        else if (option == "--firmware-size") firmwareSize = value;
        else if (option == "--page-size") pageSize = value;
        if (value && value->empty() && option != "--backup-only") throw UsageError(name + ": " + option + " is empty");
    }

    if (inv.realTime && inv.busDirectory.empty()) throw UsageError(name + ": --real-time needs --bus");
    if (jobs && !inv.all) throw UsageError(name + ": --jobs needs --all");
    if (jobs) {
        const std::optional<uint64_t> n = ParseNumber(*jobs);
        if (!n || *n < 1 || *n > kMaxJobs) {
            throw UsageError(name + ": --jobs must be a number from 1 to " + std::to_string(kMaxJobs) + ", not \"" +
                             *jobs + "\"");
        }
        inv.jobs = static_cast<unsigned>(*n);
    }
    const size_t wanted = inv.command == Command::List || inv.all ? 0 : 1;
    if (positionals.size() > wanted) {
        throw UsageError(name + (inv.all ? ": --all and DEVICE exclude each other" : ": unexpected argument \"" + positionals[wanted] + "\""));
    }
    if (positionals.size() < wanted) {
        throw UsageError(name + (inv.command == Command::CheckFile ? ": missing FILE" : ": missing DEVICE"));
    }

    switch (inv.command) {
        case Command::CheckFile: {
            if (!chipId) throw UsageError(name + ": missing --chip-id");
            const std::optional<uint64_t> id = ParseNumber(*chipId);
            if (!id || *id > 0xFFFF) {
                throw UsageError(name + ": --chip-id must be a number from 0 to 0xFFFF, not \"" + *chipId + "\"");
            }
            inv.chipId = static_cast<uint16_t>(*id);
            inv.file = positionals[0];
            RequireReadableFile(name + ": firmware file", inv.file);
            break;
        }
        case Command::Run:
            if (flashType) {
                const std::optional<uint64_t> type = ParseNumber(*flashType);
                if (!type || *type > 2) {
                    throw UsageError(name + ": --flash-type must be 0 (ATMELAT 49BV512), 1 (PMC OM39LV512) or 2 "
                                            "(SST SST39LF512), not \"" + *flashType + "\"");
                }
                inv.flashType = static_cast<int32_t>(*type);
            }
            if (firmwareSize) inv.firmwareSize = SizeFromTable(name + ": --firmware-size", *firmwareSize, FirmwareSizeTable);
            if (pageSize) inv.transferPageSize = SizeFromTable(name + ": --page-size", *pageSize, TransferPageSizeTable);
            if (inv.eraseOnly && inv.backupOnly) {
                throw UsageError(name + ": --erase-only and --backup-only exclude each other");
            }
            if (!inv.eraseOnly && !inv.backupOnly && inv.firmwareFile.empty()) {
                throw UsageError(name + ": --firmware FILE is needed unless --erase-only or --backup-only is given");
            }
            if (!inv.firmwareFile.empty()) RequireReadableFile(name + ": firmware file", inv.firmwareFile);
            if (inv.backupOnly && !inv.backupFile.empty()) {
                try {
                    RequireBackupTarget(inv.backupFile);
                } catch (const UsageError& e) {
                    throw UsageError(name + ": " + e.what());
                }
            }
            [[fallthrough]];
        case Command::Update:
            if (!inv.all) inv.device = positionals[0];
            if (!inv.headerFrom.empty()) {
                // One enclosure's configuration must never reach the others.
                if (inv.all) throw UsageError(name + ": --header-from and --all exclude each other");
                std::string problem;
                if (!ReadKeptHeader(inv.headerFrom, problem)) throw UsageError(name + ": --header-from: " + problem);
            }
            break;
        case Command::Info:
            inv.device = positionals[0];
            break;
        case Command::List:
        case Command::Help:
        case Command::Version:
            break;
    }
    return inv;
}

}  // namespace vxe::cli
