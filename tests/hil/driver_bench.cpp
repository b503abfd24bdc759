// What the product's command path costs over a bare loop, through the real
// kernel: the same command blocks, one after the other, sent by
//   bare:     open / SG_IO / close with nothing around them
//   platform: LinuxPlatform::passThrough alone
//   product:  ScsiDataIn / ScsiDataOut on LinuxPlatform with the identity
//             check an update writes under (a DevicePin that has begun
//             writing)
// in turn, round by round. Each side is timed by the process's
// CPU time and by the elapsed time; under qemu -icount both follow the
// guest's instruction count, so a run repeats to the nanosecond.
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/identity_watch.h"
#include "device/scsi_transport.h"
#include "driver_commands.h"
#include "platform/linux_platform.h"

namespace hil {
namespace {

struct Block {
    bool in = true;
    bool exclusive = false;
    std::array<uint8_t, 12> cdb{};
    uint32_t length = 0;
    uint32_t timeoutSeconds = 20;
};

// The command blocks of a --trace file: "SEQ in|out shared|exclusive
// cdb=HEX requested=N transferred=.. timeout=S ...".
std::vector<Block> ReadBlocks(const std::string& file) {
    std::vector<Block> blocks;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string seq, direction, open, cdb, requested, transferred, timeout;
        if (!(words >> seq >> direction >> open >> cdb >> requested >> transferred >> timeout)) continue;
        if (cdb.rfind("cdb=", 0) != 0 || cdb.size() != 4 + 24) continue;
        Block block;
        block.in = direction == "in";
        block.exclusive = open == "exclusive";
        for (size_t i = 0; i < 12; ++i) block.cdb[i] = static_cast<uint8_t>(std::stoul(cdb.substr(4 + 2 * i, 2), nullptr, 16));
        block.length = static_cast<uint32_t>(std::stoul(requested.substr(requested.find('=') + 1)));
        block.timeoutSeconds = static_cast<uint32_t>(std::stoul(timeout.substr(timeout.find('=') + 1)));
        blocks.push_back(block);
    }
    return blocks;
}

uint64_t Nanoseconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(now.tv_nsec);
}

struct Cost {
    uint64_t cpu = 0;
    uint64_t elapsed = 0;
    uint64_t outElapsed = 0;  // the data-out commands' share
    uint64_t failed = 0;

    Cost& operator+=(const Cost& other) {
        cpu += other.cpu, elapsed += other.elapsed, outElapsed += other.outElapsed, failed += other.failed;
        return *this;
    }
};

template <typename Send>
Cost Timed(const std::vector<Block>& blocks, Send send) {
    Cost cost;
    const uint64_t cpu = Nanoseconds(CLOCK_PROCESS_CPUTIME_ID);
    const uint64_t wall = Nanoseconds(CLOCK_MONOTONIC);
    for (const Block& block : blocks) {
        const uint64_t start = block.in ? 0 : Nanoseconds(CLOCK_MONOTONIC);
        cost.failed += send(block) ? 0 : 1;
        if (!block.in) cost.outElapsed += Nanoseconds(CLOCK_MONOTONIC) - start;
    }
    cost.cpu = Nanoseconds(CLOCK_PROCESS_CPUTIME_ID) - cpu;
    cost.elapsed = Nanoseconds(CLOCK_MONOTONIC) - wall;
    return cost;
}

void PrintSide(const char* name, const Cost& cost, const Cost& bare, double commands, double outs) {
    std::printf("HIL-BENCH %-8s per command: cpu=%6.1fus elapsed=%7.1fus (data-out %7.1fus); "
                "ratio to bare: cpu=%.3f elapsed=%.3f\n",
                name, cost.cpu / commands / 1000, cost.elapsed / commands / 1000, cost.outElapsed / outs / 1000,
                static_cast<double>(cost.cpu) / static_cast<double>(bare.cpu),
                static_cast<double>(cost.elapsed) / static_cast<double>(bare.elapsed));
}

}  // namespace

int BenchCommandPath(const std::string& commandsFile, int rounds) {
    const std::vector<Block> blocks = ReadBlocks(commandsFile);
    vxe::LinuxPlatform platform;
    const std::vector<std::string> disks = platform.enumerateInterfaces(vxe::InterfaceClass::Disk);
    if (blocks.empty() || disks.size() != 1) {
        std::printf("HIL-CHECK bench-setup: FAIL %zu command blocks, %zu disks\n", blocks.size(), disks.size());
        return 1;
    }
    const std::string path = disks.front();
    std::vector<uint8_t> buffer(1 << 20, 0xFF);

    const auto bare = [&](const Block& block) {
        const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | (block.exclusive ? O_EXCL : 0));
        if (fd < 0) return false;
        std::array<uint8_t, 32> sense{};
        sg_io_hdr_t header{};
        header.interface_id = 'S';
        header.dxfer_direction = block.length == 0 ? SG_DXFER_NONE : block.in ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
        header.dxfer_len = block.length;
        header.dxferp = buffer.data();
        header.cmd_len = 12;
        header.cmdp = const_cast<uint8_t*>(block.cdb.data());
        header.mx_sb_len = sense.size();
        header.sbp = sense.data();
        header.timeout = block.timeoutSeconds * 1000;
        const bool sent = ::ioctl(fd, SG_IO, &header) == 0 && header.host_status == 0;
        ::close(fd);
        return sent;
    };

    const auto direct = [&](const Block& block) {
        vxe::PassThroughRequest request;
        request.path = path.c_str();
        request.openMode = block.exclusive ? vxe::OpenMode::Exclusive : vxe::OpenMode::Shared;
        request.direction = block.in ? vxe::DataDirection::In : vxe::DataDirection::Out;
        request.cdb = block.cdb.data();
        request.cdbLength = 12;
        request.dataBuffer = block.length == 0 ? nullptr : buffer.data();
        request.dataTransferLength = block.length;
        request.timeoutSeconds = block.timeoutSeconds;
        return platform.passThrough(request).callSucceeded;
    };

    const vxe::ScopedPlatform installed(platform);
    vxe::DevicePin pin(path.c_str());
    pin.beginWriting();
    const auto product = [&](const Block& block) {
        int32_t transferred = 0;
        const auto length = static_cast<int32_t>(block.length);
        return (block.in ? vxe::ScsiDataIn(path.c_str(), block.cdb.data(), 12, buffer.data(), length, &transferred)
                         : vxe::ScsiDataOut(path.c_str(), block.cdb.data(), 12, buffer.data(), length, &transferred)) != 0;
    };

    Cost bareTotal, platformTotal, productTotal;
    for (int round = 0; round < rounds; ++round) {
        const Cost b = Timed(blocks, bare);
        const Cost d = Timed(blocks, direct);
        const Cost p = Timed(blocks, product);
        std::printf("HIL-BENCH round %d elapsed: bare %" PRIu64 "us, platform %" PRIu64 "us, product %" PRIu64 "us\n",
                    round, b.elapsed / 1000, d.elapsed / 1000, p.elapsed / 1000);
        bareTotal += b, platformTotal += d, productTotal += p;
    }
    const size_t outs = static_cast<size_t>(std::count_if(blocks.begin(), blocks.end(), [](const Block& b) { return !b.in; }));
    std::printf("HIL-BENCH %zu commands (%zu data-out) x %d rounds on %s\n", blocks.size(), outs, rounds, path.c_str());
    const double commands = static_cast<double>(blocks.size()) * rounds;
    const double outCommands = static_cast<double>(std::max<size_t>(outs, 1)) * rounds;
    PrintSide("bare", bareTotal, bareTotal, commands, outCommands);
    PrintSide("platform", platformTotal, bareTotal, commands, outCommands);
    PrintSide("product", productTotal, bareTotal, commands, outCommands);
    const bool carried =
        bareTotal.failed == 0 && platformTotal.failed == 0 && productTotal.failed == 0 && !pin.deviceChanged();
    std::printf("HIL-CHECK bench-every-command-carried: %s failed: bare %" PRIu64 ", platform %" PRIu64
                ", product %" PRIu64 "\n",
                carried ? "PASS" : "FAIL", bareTotal.failed, platformTotal.failed, productTotal.failed);
    return carried ? 0 : 1;
}

}  // namespace hil
