// The utility's figures, each a ratio of two quantities measured side by side
// in one run, printed as Markdown tables. Usage:
//   vxe_bench [--runs N] [overhead] [commands] [repaint] [refresh] [realclock]
// Without section names every section but realclock (which sleeps) runs.
// The exit status is 1 when an update puts more or fewer commands on the
// wire than it must.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/bench/host_time.h"
#include "tests/bench/one_click_bench.h"
#include "tests/bench/prescribed_commands.h"
#include "tests/bench/refresh_bench.h"
#include "ui/application.h"

namespace vxe::bench {
namespace {

constexpr UpdatePath kPaths[] = {UpdatePath::Serial, UpdatePath::Paged};
constexpr uint32_t kDefaultPageSize = 16384;

const char* Name(UpdatePath path) { return path == UpdatePath::Serial ? "serial (direct)" : "paged"; }

uint64_t Prescribed(UpdatePath path) {
    return path == UpdatePath::Serial ? PrescribedSerialUpdate({}) : PrescribedPagedUpdate(kDefaultPageSize);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The median of one figure over `runs` runs.
template <typename Run>
double MedianOf(const std::vector<Run>& runs, const std::function<double(const Run&)>& figure) {
    std::vector<double> values;
    for (const Run& r : runs) values.push_back(figure(r));
    return Median(values);
}

std::vector<UpdateRun> Repeat(int runs, UpdatePath path, const sim::Timing& timing) {
    std::vector<UpdateRun> all;
    for (int i = 0; i < runs; ++i) all.push_back(RunYes(path, timing));
    return all;
}

void Overhead(int runs) {
    std::printf("### Host overhead of a one-click update (SPI NOR timing, median of %d)\n\n", runs);
    std::printf("| path | device time ms | host CPU ms | of it in the simulated bridge ms | product's CPU ms |"
                " product CPU / device | product wall / device |\n|---|---:|---:|---:|---:|---:|---:|\n");
    for (UpdatePath path : kPaths) {
        const auto all = Repeat(runs, path, sim::Timing::SmallSpiNor());
        const double device = MedianOf<UpdateRun>(all, [](const UpdateRun& r) { return double(r.deviceMs); });
        const double cpu = MedianOf<UpdateRun>(all, [](const UpdateRun& r) { return Ms(r.productCpuNs()); });
        const double wall = MedianOf<UpdateRun>(all, [](const UpdateRun& r) { return Ms(r.productNs()); });
        std::printf("| %s | %.0f | %.2f | %.2f | %.2f | %.4f | %.4f |\n", Name(path), device,
                    MedianOf<UpdateRun>(all, [](const UpdateRun& r) { return Ms(r.hostCpuNs); }),
                    MedianOf<UpdateRun>(all, [](const UpdateRun& r) { return Ms(r.insideDeviceCpuNs); }), cpu,
                    device > 0 ? cpu / device : 0.0, device > 0 ? wall / device : 0.0);
    }
    std::printf("\n");
}

// The same update on the demo's real clock, beside the fake clock's device
// time: what the sleeps of a real run add or lose.
void RealClock() {
    std::printf("### The same update slept on the simulator's real clock (one run)\n\n");
    std::printf("| path | device time ms (fake clock) | wall ms (real clock) | real / fake |\n"
                "|---|---:|---:|---:|\n");
    for (UpdatePath path : kPaths) {
        const UpdateRun fake = RunYes(path, sim::Timing::SmallSpiNor());
        const UpdateRun real = RunYes(path, sim::Timing::SmallSpiNor(), {}, DeviceClock::Real);
        std::printf("| %s | %llu | %.1f | %.3f |\n", Name(path), static_cast<unsigned long long>(fake.deviceMs),
                    Ms(real.hostWallNs), Ms(real.hostWallNs) / static_cast<double>(fake.deviceMs));
    }
    std::printf("\n");
}

bool Commands() {
    bool equal = true;
    std::printf("### Commands on the wire per update\n\n");
    std::printf("| path | minimum | sent, flash never busy | sent / minimum | sent, SPI NOR timing |"
                " transfer-bound look-ups |\n|---|---:|---:|---:|---:|---:|\n");
    for (UpdatePath path : kPaths) {
        const uint64_t minimum = Prescribed(path);
        const UpdateRun instant = RunYes(path, sim::Timing::Instant());
        const UpdateRun real = RunYes(path, sim::Timing::SmallSpiNor());
        equal = equal && instant.done && instant.commands == minimum;
        std::printf("| %s | %llu | %llu | %.3f | %llu | %llu |\n", Name(path),
                    static_cast<unsigned long long>(minimum), static_cast<unsigned long long>(instant.commands),
                    static_cast<double>(instant.commands) / static_cast<double>(minimum),
                    static_cast<unsigned long long>(real.commands), static_cast<unsigned long long>(real.limitLookups));
    }
    std::printf("\n");
    if (!equal) std::printf("**An update sent more or fewer commands than it must.**\n\n");
    return equal;
}

void Repaint(int runs) {
    std::printf("### Longest time without a message pump during YES (SPI NOR timing, median of %d)\n\n", runs);
    std::printf("| case | outcome | pumps | longest gap ms | longest command ms | gap / command |\n"
                "|---|---|---:|---:|---:|---:|\n");
    for (bool removal : {false, true}) {
        for (UpdatePath path : kPaths) {
            std::vector<UpdateRun> all;
            const uint64_t at = Prescribed(path) / 2;
            for (int i = 0; i < runs; ++i) {
                all.push_back(removal ? RunYes(path, sim::Timing::SmallSpiNor(), at)
                                      : RunYes(path, sim::Timing::SmallSpiNor()));
            }
            const double gap = MedianOf<UpdateRun>(all, [](const UpdateRun& r) { return r.longestGapMs; });
            const double command =
                MedianOf<UpdateRun>(all, [](const UpdateRun& r) { return double(r.longestCommandMs); });
            const std::string name =
                std::string(Name(path)) + (removal ? ", pulled at command " + std::to_string(at) : "");
            std::printf("| %s | %s | %zu | %.1f | %.0f | %.1f |\n", name.c_str(), all[0].done ? "Done" : "Failed",
                        all[0].pumps, gap, command, command > 0 ? gap / command : 0.0);
        }
    }
    std::printf("\n");
}

void Refresh(int runs) {
    std::printf("### Refresh cost per bridge (SPI NOR timing, median of %d)\n\n", runs);
    std::printf("| bridges | rows listed | commands / bridge | device ms / bridge | host CPU us / bridge |"
                " product's CPU us / bridge | product's per bridge / at 1 bridge |\n"
                "|---:|---:|---:|---:|---:|---:|---:|\n");
    double atOne = 0;
    for (int bridges : {1, 16, 40}) {
        // About the same work per sample whatever the count.
        const int refreshes = std::max(2, 80 / bridges);
        std::vector<RefreshRun> all;
        for (int i = 0; i < runs; ++i) all.push_back(RunRefreshes(bridges, refreshes));
        const double cpu =
            MedianOf<RefreshRun>(all, [](const RefreshRun& r) { return r.perBridgeRefreshNs(r.hostCpuNs) / 1e3; });
        const double product = MedianOf<RefreshRun>(all, [](const RefreshRun& r) {
            return r.perBridgeRefreshNs(r.hostCpuNs > r.insideDeviceCpuNs ? r.hostCpuNs - r.insideDeviceCpuNs : 0) /
                   1e3;
        });
        if (bridges == 1) atOne = product;
        const RefreshRun& first = all[0];
        std::printf("| %d | %d | %.1f | %.1f | %.0f | %.0f | %.2f |\n", bridges, first.listed,
                    first.perBridgeRefreshNs(first.commands), first.perBridgeRefreshNs(first.deviceMs), cpu, product,
                    atOne > 0 ? product / atOne : 0.0);
    }
    std::printf("\n");
}

}  // namespace
}  // namespace vxe::bench

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int runs = 5;
    std::set<std::string> sections;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            sections.insert(argv[i]);
        }
    }
    int qtArgc = 1;
    vxe::FwUpdateApplication application(qtArgc, argv);
    const auto wanted = [&](const char* name) { return sections.empty() || sections.count(name) != 0; };
    bool commandsEqual = true;
    if (wanted("overhead")) vxe::bench::Overhead(runs);
    if (wanted("commands")) commandsEqual = vxe::bench::Commands();
    if (wanted("repaint")) vxe::bench::Repaint(runs);
    if (wanted("refresh")) vxe::bench::Refresh(runs);
    if (sections.count("realclock") != 0) vxe::bench::RealClock();
    return commandsEqual ? 0 : 1;
}
