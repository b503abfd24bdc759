// The whole fault sweep as a program: one line of figures per procedure and
// every broken promise in detail. Exits non-zero when any run claimed a
// success it did not deliver, lost data or crashed.
//
//   fault_sweep [--budget N | --suite] [--only TEXT]
//
// --budget N sweeps about N command indices per procedure (0, the default:
// every index); --suite takes the share the test suite runs; --only runs the
// procedures whose name contains TEXT.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/reliability/swept_procedures.h"

namespace {

using vxe::reliability::FaultKindName;
using vxe::reliability::kFaultKinds;
using vxe::reliability::SweepFigures;

void PrintHeader() {
    std::printf("| procedure | N | first write |");
    for (auto kind : kFaultKinds) std::printf(" %s |", FaultKindName(kind));
    std::printf(" runs | claimed success | false successes | changed before first write | lost backups | crashes | seconds |\n");
    std::printf("|---|---|---|");
    for (size_t i = 0; i < kFaultKinds.size(); ++i) std::printf("---|");
    std::printf("---|---|---|---|---|---|---|\n");
}

void PrintRow(const SweepFigures& f, double seconds) {
    std::printf("| %s | %llu | %llu |", f.procedure.c_str(), static_cast<unsigned long long>(f.cleanCommands),
                static_cast<unsigned long long>(f.firstWrite));
    for (size_t i = 0; i < kFaultKinds.size(); ++i) std::printf(" %llu |", static_cast<unsigned long long>(f.runs[i]));
    std::printf(" %llu | %llu | %llu | %llu | %llu | %llu | %.1f |\n", static_cast<unsigned long long>(f.totalRuns()),
                static_cast<unsigned long long>(f.claimedSuccess), static_cast<unsigned long long>(f.falseSuccesses),
                static_cast<unsigned long long>(f.touchedBeforeFirstWrite),
                static_cast<unsigned long long>(f.lostBackups), static_cast<unsigned long long>(f.crashes), seconds);
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t budget = 0;
    bool suiteShare = false;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--budget") == 0 && i + 1 < argc) {
            budget = std::strtoull(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--suite") == 0) {
            suiteShare = true;
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--budget N | --suite] [--only TEXT]\n", argv[0]);
            return 2;
        }
    }

    PrintHeader();
    uint64_t runs = 0, broken = 0;
    std::string details;
    for (const auto& procedure : vxe::reliability::SweptProcedures()) {
        if (!only.empty() && procedure.name.find(only) == std::string::npos) continue;
        const auto start = std::chrono::steady_clock::now();
        const SweepFigures f = vxe::reliability::SweepProcedure(procedure, suiteShare ? procedure.suiteIndexBudget : budget);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        PrintRow(f, seconds);
        std::fflush(stdout);
        runs += f.totalRuns();
        if (!f.cleanRunSucceeded) {
            ++broken;
            details += procedure.name + ": the clean run did not succeed\n";
        }
        broken += f.falseSuccesses + f.touchedBeforeFirstWrite + f.lostBackups + f.crashes;
        for (const auto& finding : f.findings) {
            details += procedure.name + ": " + FaultKindName(finding.kind) + " at command " +
                       std::to_string(finding.commandIndex) + ": " + finding.what + " (status \"" +
                       finding.status + "\")\n";
        }
    }
    std::printf("\n%llu faulted runs, %llu broken promises\n", static_cast<unsigned long long>(runs),
                static_cast<unsigned long long>(broken));
    if (!details.empty()) std::printf("\n%s", details.c_str());
    return broken == 0 ? 0 : 1;
}
