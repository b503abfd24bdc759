// The test driver that runs inside the rig's guest, next to the gadget: it
// reaches the simulated bridge through the product's Linux platform and the
// real kernel stack (sg, usb-storage, dummy_hcd) and prints one line per
// check, "HIL-CHECK <name>: PASS|FAIL <detail>".
//
//   hil_driver basic   [--profile NAME] [--cdrom] [--flash FILE]
//   hil_driver limits  [--flash FILE]
//   hil_driver product --reference FILE --expect-family N
//   hil_driver hotplug --udc-file FILE
//   hil_driver bench   --commands TRACE [--rounds N]
//
// Exit status 0 when every check passed.
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "device/vendor_commands.h"
#include "driver_commands.h"
#include "gadget_profile.h"
#include "hil_checks.h"
#include "platform/linux_platform.h"
#include "platform/tracing_platform.h"

namespace {

namespace fs = std::filesystem;

struct Options {
    std::string command;
    std::string profile = "vxe720";
    bool cdrom = false;
    std::string flashFile;
    std::string referenceFile;
    int expectedFamily = 10;
    std::string udcFile;
    std::string commandsFile;
    int rounds = 10;
};

using hil::Checks;

std::string Hex(std::span<const uint8_t> bytes, size_t limit = 16) {
    std::string text;
    char piece[4];
    for (size_t i = 0; i < std::min(bytes.size(), limit); ++i) {
        std::snprintf(piece, sizeof(piece), "%02x", bytes[i]);
        text += piece;
    }
    if (bytes.size() > limit) text += "...";
    return text;
}

std::string Describe(const vxe::PassThroughResult& r) {
    return "opened=" + std::to_string(r.opened) + " ok=" + std::to_string(r.callSucceeded) +
           " error=" + std::to_string(r.errorCode) + " transferred=" + std::to_string(r.dataTransferLength);
}

// One request as the product's transport sends it: a 12-byte command block.
struct Request {
    std::array<uint8_t, 12> cdb{};
    std::vector<uint8_t> data;
    vxe::PassThroughRequest make(const std::string& path, vxe::DataDirection direction, vxe::OpenMode mode,
                                 uint32_t timeoutSeconds) {
        vxe::PassThroughRequest r;
        r.path = path.c_str();
        r.openMode = mode;
        r.direction = direction;
        r.cdb = cdb.data();
        r.cdbLength = static_cast<uint8_t>(cdb.size());
        r.dataBuffer = data.empty() ? nullptr : data.data();
        r.dataTransferLength = static_cast<uint32_t>(data.size());
        r.timeoutSeconds = timeoutSeconds;
        return r;
    }
};

Request FlashRead(uint32_t address, uint32_t length) {
    Request request;
    request.cdb = {0xFF, 0x04, 0x10, static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 8),
                   static_cast<uint8_t>(address)};
    request.data.assign(length, 0xEE);
    return request;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return in || !line.empty() ? line : "-";
}

// The flash as the gadget holds it: the image, the rest erased.
std::vector<uint8_t> ExpectedFlash(const sim::DeviceDescription& description, const std::string& flashFile) {
    std::vector<uint8_t> flash(description.flashSize, 0xFF);
    if (!flashFile.empty()) {
        std::vector<uint8_t> image = ReadFile(flashFile);
        std::copy_n(image.begin(), std::min(image.size(), flash.size()), flash.begin());
    }
    return flash;
}

bool SameAsFlash(std::span<const uint8_t> got, std::span<const uint8_t> flash, uint32_t address) {
    if (flash.empty()) return false;
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] != flash[(address + i) % flash.size()]) return false;
    }
    return true;
}

int Basic(const Options& options) {
    Checks checks;
    vxe::LinuxPlatform platform;
    std::optional<sim::DeviceDescription> description = hil::ProfileByName(options.profile, options.cdrom);
    if (!checks.check("profile", description.has_value(), options.profile)) return 1;

    const auto disks = platform.enumerateInterfaces(vxe::InterfaceClass::Disk);
    const auto cdroms = platform.enumerateInterfaces(vxe::InterfaceClass::CdRom);
    const auto& mine = options.cdrom ? cdroms : disks;
    const auto& other = options.cdrom ? disks : cdroms;
    std::string listed = "disk=" + std::to_string(disks.size()) + " cdrom=" + std::to_string(cdroms.size());
    for (const auto& p : disks) listed += " " + p;
    for (const auto& p : cdroms) listed += " " + p;
    struct stat st {};
    const bool found = mine.size() == 1 && other.empty() && ::stat(mine[0].c_str(), &st) == 0 && S_ISCHR(st.st_mode);
    if (!checks.check("enumerate", found, listed)) return 1;
    const std::string node = mine[0];

    {
        Request inquiry;
        inquiry.cdb = {0x12, 0, 0, 0, 36};
        inquiry.data.assign(36, 0xEE);
        auto r = platform.passThrough(inquiry.make(node, vxe::DataDirection::In, vxe::OpenMode::Shared, 20));
        const size_t expected = std::min<size_t>(36, description->inquiry.size());
        const bool same = std::equal(inquiry.data.begin(), inquiry.data.begin() + expected, description->inquiry.begin());
        checks.check("inquiry", r.callSucceeded && r.dataTransferLength == expected && same,
                     Describe(r) + " id=" + std::string(inquiry.data.begin() + 8, inquiry.data.begin() + 32));
    }
    {
        Request info;
        info.cdb = {0xE0, 0xF4, 0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        info.data.assign(16, 0xEE);
        auto r = platform.passThrough(info.make(node, vxe::DataDirection::In, vxe::OpenMode::Shared, 20));
        const auto& block = description->chipInformation;
        const size_t expected = std::min<size_t>(16, block.size());
        const bool same = std::equal(block.begin(), block.begin() + expected, info.data.begin());
        checks.check("vendor-e0", r.callSucceeded && r.dataTransferLength == expected && same,
                     Describe(r) + " reply=" + Hex(std::span(info.data).first(r.dataTransferLength)));
    }
    {
        // An opcode no bridge knows ends in CHECK CONDITION: carried, nothing moved.
        Request unknown;
        unknown.cdb = {0xC7};
        unknown.data.assign(8, 0xEE);
        auto r = platform.passThrough(unknown.make(node, vxe::DataDirection::In, vxe::OpenMode::Shared, 20));
        checks.check("check-condition-carried", r.opened && r.callSucceeded && r.dataTransferLength == 0, Describe(r));
    }
    {
        // A data-out command without data, exclusively opened (prepare for update).
        Request prepare;
        prepare.cdb = {0xFF, 0x04, 0x25};
        auto r = platform.passThrough(prepare.make(node, vxe::DataDirection::Out, vxe::OpenMode::Exclusive, 10));
        checks.check("data-out-no-data", r.callSucceeded, Describe(r));
    }
    {
        const std::vector<uint8_t> flash = ExpectedFlash(*description, options.flashFile);
        Request read = FlashRead(0, 8192);
        auto r = platform.passThrough(read.make(node, vxe::DataDirection::In, vxe::OpenMode::Shared, 20));
        checks.check("flash-read-8k", r.callSucceeded && r.dataTransferLength == 8192 && SameAsFlash(read.data, flash, 0),
                     Describe(r) + " head=" + Hex(read.data, 8));
    }
    {
        // Held elsewhere: both kinds of open give up at once instead of waiting.
        int held = ::open(node.c_str(), O_RDWR | O_EXCL | O_NONBLOCK);
        Request inquiry;
        inquiry.cdb = {0x12, 0, 0, 0, 36};
        inquiry.data.assign(36, 0);
        const auto started = std::chrono::steady_clock::now();
        auto exclusive = platform.passThrough(inquiry.make(node, vxe::DataDirection::In, vxe::OpenMode::Exclusive, 20));
        auto shared = platform.passThrough(inquiry.make(node, vxe::DataDirection::In, vxe::OpenMode::Shared, 20));
        const auto waited = std::chrono::steady_clock::now() - started;
        if (held >= 0) ::close(held);
        auto after = platform.passThrough(inquiry.make(node, vxe::DataDirection::In, vxe::OpenMode::Exclusive, 20));
        checks.check("held-elsewhere", held >= 0 && !exclusive.opened && exclusive.errorCode == EBUSY && !shared.opened &&
                                           waited < std::chrono::seconds(1) && after.callSucceeded,
                     "exclusive: " + Describe(exclusive) + "; shared: " + Describe(shared) + "; after: " + Describe(after));
    }
    return checks.allPassed() ? 0 : 1;
}

// The queue folder of the sg node's disk, empty when it has none.
fs::path BlockQueue(const fs::path& sgDevice) {
    std::error_code ec;
    for (fs::directory_iterator it(sgDevice / "block", ec), end; !ec && it != end; it.increment(ec)) {
        return it->path() / "queue";
    }
    return {};
}

// The product's own 1 MiB flash read (as erase-only and backup send it): the
// platform names the queue's bound, and the read arrives whole, in as many
// requests as that bound needs, none of them larger.
void ProductLongRead(Checks& checks, vxe::LinuxPlatform& platform, const std::string& node,
                     const std::vector<uint8_t>& flash, uint32_t queueLimitKib, const char* name) {
    constexpr int32_t kOneMiB = 1 << 20;
    const uint32_t limit = platform.maxTransferLength(node.c_str());
    std::ostringstream trace;
    vxe::TracingPlatform tracing(platform, trace);
    vxe::ScopedPlatform installed(tracing);
    std::vector<uint8_t> bytes(kOneMiB, 0xEE);
    int32_t transferred = 0;
    const int32_t result = vxe::FlashRead(node.c_str(), 0x100, bytes.data(), kOneMiB, &transferred);

    std::istringstream lines(trace.str());
    size_t requests = 0;
    unsigned long largest = 0;
    for (std::string line; std::getline(lines, line); ++requests) {
        const size_t at = line.find(" requested=");
        if (at != std::string::npos) largest = std::max(largest, std::strtoul(line.c_str() + at + 11, nullptr, 10));
    }
    const size_t needed = limit == 0 ? 0 : (kOneMiB + limit - 1) / limit;
    checks.check(name,
                 limit == queueLimitKib * 1024 && result == 1 && transferred == kOneMiB &&
                     SameAsFlash(bytes, flash, 0x100) && requests == needed && largest <= limit,
                 "limit " + std::to_string(limit) + " B, " + std::to_string(requests) + " requests, largest " +
                     std::to_string(largest) + " B, result " + std::to_string(result) + ", transferred " +
                     std::to_string(transferred));
}

// What the kernel lets through in one request, with the attributes behind it.
int Limits(const Options& options) {
    Checks checks;
    vxe::LinuxPlatform platform;
    const auto disks = platform.enumerateInterfaces(vxe::InterfaceClass::Disk);
    if (!checks.check("enumerate", disks.size() == 1)) return 1;
    const std::string node = disks[0];
    const fs::path sgDevice = fs::path("/sys/class/scsi_generic") / fs::path(node).filename() / "device";

    std::printf("HIL-LIMIT node=%s\n", node.c_str());
    std::printf("HIL-LIMIT scsi_device max_sectors=%s\n", ReadLine(sgDevice / "max_sectors").c_str());
    std::error_code ec;
    for (fs::directory_iterator it(sgDevice / "block", ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path queue = it->path() / "queue";
        for (const char* attribute : {"max_sectors_kb", "max_hw_sectors_kb", "max_segments", "max_segment_size"}) {
            std::printf("HIL-LIMIT %s %s=%s\n", it->path().filename().c_str(), attribute,
                        ReadLine(queue / attribute).c_str());
        }
    }
    std::printf("HIL-LIMIT sg def_reserved_size=%s sg_big_buff=%s\n",
                ReadLine("/proc/scsi/sg/def_reserved_size").c_str(), ReadLine("/proc/sys/kernel/sg-big-buff").c_str());
    if (int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK); fd >= 0) {
        int reserved = -1;
        ::ioctl(fd, SG_GET_RESERVED_SIZE, &reserved);
        std::printf("HIL-LIMIT SG_GET_RESERVED_SIZE=%d\n", reserved);
        ::close(fd);
    }

    std::optional<sim::DeviceDescription> description = hil::ProfileByName(options.profile);
    if (!checks.check("profile", description.has_value(), options.profile)) return 1;
    const std::vector<uint8_t> flash = ExpectedFlash(*description, options.flashFile);
    // Reads of growing size: the largest that came back whole, and whether
    // every larger one failed outright (nothing half-done, no hang).
    constexpr std::array<uint32_t, 9> kSizesKib{4, 8, 64, 120, 124, 128, 256, 512, 1024};
    auto tryReads = [&](const char* label) {
        uint32_t largest = 0;
        bool cleanFailures = true;
        for (uint32_t kib : kSizesKib) {
            Request read = FlashRead(0x100, kib * 1024);
            auto r = platform.passThrough(read.make(node, vxe::DataDirection::In, vxe::OpenMode::Shared, 20));
            const bool whole = r.callSucceeded && r.dataTransferLength == kib * 1024 && SameAsFlash(read.data, flash, 0x100);
            std::printf("HIL-LIMIT %s read %4u KiB: %s %s\n", label, kib, whole ? "ok" : "FAILED", Describe(r).c_str());
            if (whole && cleanFailures) largest = kib;
            if (!whole) cleanFailures = cleanFailures && r.opened && !r.callSucceeded && r.errorCode == EINVAL;
        }
        return std::make_pair(largest, cleanFailures);
    };
    const auto hwLimitKib = [&] {
        for (fs::directory_iterator it(sgDevice / "block", ec), end; !ec && it != end; it.increment(ec)) {
            return static_cast<uint32_t>(std::strtoul(ReadLine(it->path() / "queue/max_hw_sectors_kb").c_str(), nullptr, 10));
        }
        return 0u;
    };
    const auto largestWithin = [&](uint32_t limitKib) {
        uint32_t largest = 0;
        for (uint32_t kib : kSizesKib) {
            if (kib <= limitKib) largest = kib;
        }
        return largest;
    };

    const uint32_t boundLimit = hwLimitKib();
    const auto [asBound, asBoundClean] = tryReads("as-bound");
    checks.check("largest-read-is-queue-limit", asBound >= 64 && asBound == largestWithin(boundLimit),
                 std::to_string(asBound) + " KiB, max_hw_sectors_kb " + std::to_string(boundLimit));
    checks.check("larger-reads-fail-cleanly", asBoundClean, "EINVAL, nothing sent");

    // max_sectors_kb bounds only the file system's I/O: lowered below the
    // hardware bound, a request of the whole hardware bound still goes through.
    if (const fs::path queue = BlockQueue(sgDevice); !queue.empty() && boundLimit > 64) {
        const std::string before = ReadLine(queue / "max_sectors_kb");
        std::ofstream(queue / "max_sectors_kb") << 64 << '\n';
        const std::string lowered = ReadLine(queue / "max_sectors_kb");
        Request read = FlashRead(0x100, boundLimit * 1024);
        auto r = platform.passThrough(read.make(node, vxe::DataDirection::In, vxe::OpenMode::Shared, 20));
        std::ofstream(queue / "max_sectors_kb") << before << '\n';
        checks.check("max-sectors-kb-does-not-bound-pass-through",
                     lowered == "64" && r.callSucceeded && r.dataTransferLength == boundLimit * 1024,
                     std::to_string(boundLimit) + " KiB with max_sectors_kb " + lowered + ": " + Describe(r));
    }
    ProductLongRead(checks, platform, node, flash, boundLimit, "product-1mib-read-as-bound");

    // usb-storage lets root raise its per-device limit.
    {
        std::ofstream raise(sgDevice / "max_sectors");
        raise << 2048 << '\n';
    }
    std::printf("HIL-LIMIT raised scsi_device max_sectors=%s max_hw_sectors_kb=%u\n",
                ReadLine(sgDevice / "max_sectors").c_str(), hwLimitKib());
    const auto [raised, raisedClean] = tryReads("raised");
    checks.check("one-mib-read-after-raising", raised == 1024 && raisedClean, std::to_string(raised) + " KiB");
    ProductLongRead(checks, platform, node, flash, hwLimitKib(), "product-1mib-read-after-raising");
    return checks.allPassed() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (argc < 2) {
        std::fprintf(stderr, "usage: hil_driver basic|limits|product|hotplug|bench [options]\n");
        return 2;
    }
    options.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--cdrom") {
            options.cdrom = true;
        } else if (arg == "--profile" && i + 1 < argc) {
            options.profile = argv[++i];
        } else if (arg == "--flash" && i + 1 < argc) {
            options.flashFile = argv[++i];
        } else if (arg == "--reference" && i + 1 < argc) {
            options.referenceFile = argv[++i];
        } else if (arg == "--expect-family" && i + 1 < argc) {
            options.expectedFamily = std::atoi(argv[++i]);
        } else if (arg == "--udc-file" && i + 1 < argc) {
            options.udcFile = argv[++i];
        } else if (arg == "--commands" && i + 1 < argc) {
            options.commandsFile = argv[++i];
        } else if (arg == "--rounds" && i + 1 < argc) {
            options.rounds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "hil_driver: unknown or incomplete option %s\n", arg.c_str());
            return 2;
        }
    }
    if (options.command == "basic") return Basic(options);
    if (options.command == "limits") return Limits(options);
    if (options.command == "product") return hil::ProductChecks(options.referenceFile, options.expectedFamily);
    if (options.command == "hotplug") return hil::HotplugChecks(options.udcFile);
    if (options.command == "bench") return hil::BenchCommandPath(options.commandsFile, options.rounds);
    std::fprintf(stderr, "hil_driver: unknown command %s\n", options.command.c_str());
    return 2;
}
