#include "tests/reliability/fault_sweep.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

#include "tests/support/simulated_machine.h"

namespace vxe::reliability {
namespace {

namespace fs = std::filesystem;

// What an earlier, good backup held; a failed backup must leave it alone.
const std::vector<uint8_t> kOlderBackup = {'o', 'l', 'd', 'e', 'r', ' ', 'b', 'a', 'c', 'k', 'u', 'p'};

// One way of faulting a run; `detail` names a second fault, if any.
struct Injection {
    std::function<void(sim::Faults&)> apply;
    std::string detail;
};

struct RunRecord {
    RunOutcome outcome;
    bool crashed = false;
    std::string crashWhat;
    std::vector<uint8_t> flash;
    std::optional<std::vector<uint8_t>> backup;  // absent: no file
    uint64_t commands = 0;
    std::vector<sim::LogEntry> log;
};

uint32_t Be16(uint8_t a, uint8_t b) { return uint32_t{a} << 8 | b; }
uint32_t Be24(uint8_t a, uint8_t b, uint8_t c) { return uint32_t{a} << 16 | uint32_t{b} << 8 | c; }

bool IsFlashGroup(const sim::Command& c, uint8_t sub) { return c.cdb[0] == 0xFF && c.cdb[1] == 0x04 && c.cdb[2] == sub; }
bool IsSerialWrite(const sim::Command& c) { return c.cdb[0] == 0xDF && c.cdb[11] == 0xFB; }

// The flash bytes a command programs: [first, first + count), or count 0.
struct WriteRange {
    uint32_t first = 0;
    uint32_t count = 0;
};

WriteRange ProgrammedRange(const sim::Command& c) {
    if (IsSerialWrite(c)) return {Be24(c.cdb[8], c.cdb[9], c.cdb[10]), std::min(Be16(c.cdb[3], c.cdb[4]), c.length)};
    if (IsFlashGroup(c, 0x11)) return {Be24(c.cdb[3], c.cdb[4], c.cdb[5]), c.length};
    if (IsFlashGroup(c, 0x02)) return {0, c.length};
    return {};
}

// The flash bytes a command changes, as far as the command block tells: a
// block erase at least its first byte, the chip erases all of the flash.
WriteRange ChangedRange(const sim::Command& c, uint32_t flashSize) {
    if (IsFlashGroup(c, 0x13) || IsFlashGroup(c, 0x01)) return {0, flashSize};
    if (IsFlashGroup(c, 0x14)) return {Be24(c.cdb[3], c.cdb[4], c.cdb[5]), 1};
    return ProgrammedRange(c);
}

// The flash bytes a read asks for, or count 0 for anything else.
WriteRange ReadRange(const sim::Command& c) {
    if (!c.dataIn) return {};
    if (c.cdb[0] == 0xDF && c.cdb[11] == 0xFA) return {Be24(c.cdb[8], c.cdb[9], c.cdb[10]), c.length};
    if (IsFlashGroup(c, 0x10)) return {Be24(c.cdb[3], c.cdb[4], c.cdb[5]), c.length};
    if (IsFlashGroup(c, 0x03)) {
        return {uint32_t{c.cdb[3]} | uint32_t{c.cdb[4]} << 8 | uint32_t{c.cdb[5]} << 16 | uint32_t{c.cdb[6]} << 24,
                c.length};
    }
    return {};
}

bool Overlap(WriteRange a, WriteRange b) {
    return a.count > 0 && b.count > 0 && uint64_t{a.first} < uint64_t{b.first} + b.count &&
           uint64_t{b.first} < uint64_t{a.first} + a.count;
}

// A bit inside what `command` programs that the finished flash must hold at
// 0, so that a cell which never programs makes the intended contents
// unreachable. None when every byte there ends up erased.
std::optional<sim::StuckBit> StuckBitFor(const sim::Command& command, const std::vector<uint8_t>& finalFlash) {
    const WriteRange range = ProgrammedRange(command);
    if (finalFlash.empty()) return std::nullopt;
    for (uint32_t i = 0; i < range.count; ++i) {
        const uint32_t at = static_cast<uint32_t>((uint64_t{range.first} + i) % finalFlash.size());
        const uint8_t zeros = static_cast<uint8_t>(~finalFlash[at]);
        if (zeros != 0) return sim::StuckBit{at, static_cast<uint8_t>(zeros & -zeros)};
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string BackupPathFor(const Procedure& procedure) {
    std::string safe;
    for (char ch : procedure.name) safe += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '-';
    return (fs::temp_directory_path() / ("vxe-sweep-" + std::to_string(getpid()) + "-" + safe + ".bak")).string();
}

RunRecord RunOnce(const Procedure& procedure, const std::function<void(sim::Faults&)>& inject,
                  const std::string& backupFile, bool keepLog) {
    test::SimulatedMachine machine;
    for (const auto& [name, bytes] : procedure.resources) machine.platform.setResource(name, "FW", bytes);
    const std::string path = test::UsbDiskPath(0);
    sim::Bridge& bridge = machine.addDisk(path, procedure.device);
    bridge.setFlash(0, procedure.startFlash);
    inject(bridge.faults());
    if (procedure.backupLength > 0) WriteWholeFile(backupFile, kOlderBackup);

    RunRecord record;
    RunContext context{path.c_str(), machine.platform, backupFile};
    try {
        record.outcome = procedure.run(context);
    } catch (const std::exception& e) {
        record.crashed = true;
        record.crashWhat = e.what();
    } catch (...) {
        record.crashed = true;
        record.crashWhat = "unknown exception";
    }
    record.flash.assign(bridge.flash().begin(), bridge.flash().end());
    if (procedure.backupLength > 0) record.backup = ReadWholeFile(backupFile);
    record.commands = bridge.commandCount();
    if (keepLog) record.log = bridge.log();
    return record;
}

// Which command indices a sweep of `stride` visits: every stride-th, every
// command that changes the flash, the few around the first of them and the
// last few.
std::vector<uint64_t> IndicesToVisit(const std::vector<sim::LogEntry>& log, uint64_t firstWrite, uint64_t stride) {
    std::vector<uint64_t> indices;
    const uint64_t n = log.size();
    for (uint64_t k = 0; k < n; ++k) {
        const bool nearFirstWrite = k + 2 >= firstWrite && k <= firstWrite + 2;
        if (stride <= 1 || k % stride == 0 || nearFirstWrite || k + 3 >= n || ChangesFlash(log[k].command)) {
            indices.push_back(k);
        }
    }
    return indices;
}

size_t KindSlot(FaultKind kind) { return static_cast<size_t>(kind); }

// The faults of one kind at command k; none where the kind means nothing
// there (no write to ignore, no programmed bit, no data to cut short). A
// short read is tried twice: one byte fewer, which only the length shows,
// and half the bytes, which also cuts short replies of a few bytes.
// A short read: one byte fewer, which only the length shows, and half the
// bytes, which also cuts short replies of a few bytes.
std::vector<uint32_t> ShortReadCuts(uint32_t length) {
    std::vector<uint32_t> cuts;
    if (length == 0) return cuts;
    cuts.push_back(1);
    if (length / 2 > 1) cuts.push_back(length / 2);
    return cuts;
}

// With write k ignored, every read of the same range in turn comes back
// short (both cuts) or fails.
std::vector<Injection> PairedReadCuts(uint64_t k, const std::vector<sim::LogEntry>& log, uint32_t flashSize) {
    std::vector<Injection> pairs;
    const WriteRange written = ChangedRange(log.at(k).command, flashSize);
    for (const sim::LogEntry& entry : log) {
        const uint64_t j = entry.index;
        if (j == k || !Overlap(written, ReadRange(entry.command))) continue;
        const std::string read = "read at command " + std::to_string(j);
        for (const uint32_t missing : ShortReadCuts(entry.command.length)) {
            pairs.push_back({[k, j, missing](sim::Faults& f) {
                                 f.ignoreWriteAt = k;
                                 f.shortReadAt = j;
                                 f.shortReadMissing = missing;
                             },
                             read + " " + std::to_string(missing) + " bytes short"});
        }
        pairs.push_back({[k, j](sim::Faults& f) {
                             f.ignoreWriteAt = k;
                             f.failCommandAt = j;
                         },
                         read + " failed"});
    }
    return pairs;
}

std::vector<Injection> InjectionsAt(FaultKind kind, uint64_t k, const std::vector<sim::LogEntry>& log,
                                    const std::vector<uint8_t>& finalFlash) {
    const sim::Command& command = log.at(k).command;
    switch (kind) {
        case FaultKind::CommandFails:
            return {{[k](sim::Faults& f) { f.failCommandAt = k; }, {}}};
        case FaultKind::DeviceVanishes:
            return {{[k](sim::Faults& f) { f.vanishFrom = k; }, {}}};
        case FaultKind::FlashStaysBusy:
            return {{[k](sim::Faults& f) { f.stuckBusyFrom = k; }, {}}};
        case FaultKind::WriteIgnored:
            if (!ChangesFlash(command)) return {};
            return {{[k](sim::Faults& f) { f.ignoreWriteAt = k; }, {}}};
        case FaultKind::BitStuck: {
            const auto bit = StuckBitFor(command, finalFlash);
            if (!bit) return {};
            return {{[bit](sim::Faults& f) { f.stuckBit = bit; }, {}}};
        }
        case FaultKind::ShortRead: {
            if (!command.dataIn) return {};
            std::vector<Injection> cuts;
            for (const uint32_t missing : ShortReadCuts(command.length)) {
                cuts.push_back({[k, missing](sim::Faults& f) {
                                    f.shortReadAt = k;
                                    f.shortReadMissing = missing;
                                },
                                {}});
            }
            return cuts;
        }
        case FaultKind::WriteIgnoredReadCut:
            if (!ChangesFlash(command)) return {};
            return PairedReadCuts(k, log, static_cast<uint32_t>(finalFlash.size()));
    }
    return {};
}

struct Expectations {
    std::vector<uint8_t> flash;       // what a clean run leaves
    std::vector<uint8_t> startFlash;  // what was there before
    std::vector<uint8_t> backup;      // what a backup file must hold
    bool makesBackup = false;
    uint64_t firstWrite = 0;
};

void Judge(const RunRecord& run, const Expectations& expected, FaultKind kind, uint64_t k, const std::string& detail,
           SweepFigures& figures) {
    const auto note = [&](std::string what) {
        if (!detail.empty()) what += " (with the " + detail + ")";
        figures.findings.push_back(Finding{kind, k, std::move(what), run.outcome.status});
    };
    if (run.crashed) {
        ++figures.crashes;
        note("crashed: " + run.crashWhat);
        return;
    }
    if (run.outcome.claimsSuccess) {
        ++figures.claimedSuccess;
        if (expected.makesBackup && run.backup != expected.backup) {
            ++figures.falseSuccesses;
            note("backup reported written but differs from the flash");
        } else if (!expected.makesBackup && run.flash != expected.flash) {
            ++figures.falseSuccesses;
            note("success reported but the flash differs from a clean run");
        }
        return;
    }
    ++figures.reportedFailure;
    if (k < expected.firstWrite && run.flash != expected.startFlash) {
        ++figures.touchedBeforeFirstWrite;
        note("failed before the first write, yet the old flash changed");
    }
    if (expected.makesBackup && run.backup != kOlderBackup) {
        ++figures.lostBackups;
        note("a failed backup replaced the older file");
    }
}

}  // namespace

const char* FaultKindName(FaultKind kind) {
    switch (kind) {
        case FaultKind::CommandFails: return "command fails";
        case FaultKind::DeviceVanishes: return "device vanishes";
        case FaultKind::WriteIgnored: return "write ignored";
        case FaultKind::BitStuck: return "bit stuck";
        case FaultKind::ShortRead: return "short read";
        case FaultKind::FlashStaysBusy: return "flash stays busy";
        case FaultKind::WriteIgnoredReadCut: return "write ignored, read cut";
    }
    return "";
}

bool ChangesFlash(const sim::Command& c) {
    return IsSerialWrite(c) || IsFlashGroup(c, 0x01) || IsFlashGroup(c, 0x02) || IsFlashGroup(c, 0x11) ||
           IsFlashGroup(c, 0x13) || IsFlashGroup(c, 0x14);
}

uint64_t SweepFigures::totalRuns() const {
    uint64_t total = 0;
    for (uint64_t r : runs) total += r;
    return total;
}

SweepFigures SweepProcedure(const Procedure& procedure, uint64_t indexBudget) {
    SweepFigures figures;
    figures.procedure = procedure.name;
    const std::string backupFile = BackupPathFor(procedure);

    const RunRecord clean = RunOnce(procedure, [](sim::Faults&) {}, backupFile, true);
    figures.cleanRunSucceeded = clean.outcome.claimsSuccess && !clean.crashed;
    figures.cleanCommands = clean.commands;
    figures.firstWrite = clean.commands;
    for (const sim::LogEntry& e : clean.log) {
        if (ChangesFlash(e.command)) {
            figures.firstWrite = e.index;
            break;
        }
    }
    if (!figures.cleanRunSucceeded) return figures;

    const Expectations expected{
        .flash = clean.flash,
        .startFlash = procedure.startFlash,
        .backup = std::vector<uint8_t>(
            procedure.startFlash.begin(),
            procedure.startFlash.begin() + std::min<size_t>(procedure.backupLength, procedure.startFlash.size())),
        .makesBackup = procedure.backupLength > 0,
        .firstWrite = figures.firstWrite,
    };
    const uint64_t stride = indexBudget == 0 ? 1 : (figures.cleanCommands + indexBudget - 1) / indexBudget;
    for (const uint64_t k : IndicesToVisit(clean.log, figures.firstWrite, stride)) {
        for (const FaultKind kind : kFaultKinds) {
            const std::vector<Injection> injections = InjectionsAt(kind, k, clean.log, clean.flash);
            if (injections.empty()) ++figures.skipped[KindSlot(kind)];
            for (const Injection& inject : injections) {
                ++figures.runs[KindSlot(kind)];
                Judge(RunOnce(procedure, inject.apply, backupFile, false), expected, kind, k, inject.detail, figures);
            }
        }
    }
    std::error_code ec;
    fs::remove(backupFile, ec);
    return figures;
}

}  // namespace vxe::reliability
