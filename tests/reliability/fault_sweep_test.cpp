// Every procedure that writes or backs up the flash, under every fault the
// simulated bridge can inject, at an evenly spread share of its commands
// (the whole sweep is the fault_sweep program). No run may claim a success
// that the flash or the backup file does not bear out, change the flash
// after failing before its first write, lose an older backup, or crash.
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "flash/paged_flash.h"
#include "flash/update_engine.h"
#include "sim/profiles.h"
#include "tests/reliability/swept_procedures.h"

namespace vxe::reliability {
namespace {

const std::vector<Procedure>& Procedures() {
    static const std::vector<Procedure> procedures = SweptProcedures();
    return procedures;
}

std::string Describe(const SweepFigures& f) {
    std::ostringstream out;
    for (const Finding& finding : f.findings) {
        out << FaultKindName(finding.kind) << " at command " << finding.commandIndex << ": " << finding.what
            << " (status \"" << finding.status << "\")\n";
    }
    return out.str();
}

class FaultSweep : public ::testing::TestWithParam<size_t> {};

TEST_P(FaultSweep, ClaimsOnlyWhatTheFlashBearsOut) {
    const Procedure& procedure = Procedures()[GetParam()];
    const SweepFigures f = SweepProcedure(procedure, procedure.suiteIndexBudget);
    ASSERT_TRUE(f.cleanRunSucceeded) << "the fault-free run must succeed for the sweep to mean anything";
    EXPECT_GT(f.totalRuns(), 0u);
    EXPECT_EQ(f.falseSuccesses, 0u) << Describe(f);
    EXPECT_EQ(f.touchedBeforeFirstWrite, 0u) << Describe(f);
    EXPECT_EQ(f.lostBackups, 0u) << Describe(f);
    EXPECT_EQ(f.crashes, 0u) << Describe(f);
    RecordProperty("faulted_runs", static_cast<int>(f.totalRuns()));
    RecordProperty("claimed_success", static_cast<int>(f.claimedSuccess));
}

INSTANTIATE_TEST_SUITE_P(EveryWritingProcedure, FaultSweep, ::testing::Range<size_t>(0, Procedures().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             std::string name;
                             for (char ch : Procedures()[info.param].name) {
                                 if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
                             }
                             return name;
                         });

// The judge itself: procedures that claim success whatever happened must be
// caught, or a sweep with no findings would prove nothing.
TEST(FaultSweepJudge, CatchesAWriterAndABackupThatAlwaysClaimSuccess) {
    Procedure writer;
    writer.name = "lying writer";
    writer.device = sim::ProfileForFamily(1);
    writer.startFlash = Pattern(0x10000, 1);
    writer.run = [](RunContext& c) {
        RecordingStatusSink sink;
        ProgramFlashImage(c.path, Pattern(0x10000, 2), kDefaultTransferPageSize, sink);
        return RunOutcome{true, sink.statusText()};
    };
    const SweepFigures w = SweepProcedure(writer, 40);
    EXPECT_GT(w.falseSuccesses, 0u);
    for (const FaultKind kind : {FaultKind::WriteIgnored, FaultKind::BitStuck, FaultKind::DeviceVanishes}) {
        EXPECT_TRUE(std::any_of(w.findings.begin(), w.findings.end(),
                                [&](const Finding& f) { return f.kind == kind; }))
            << FaultKindName(kind);
    }

    Procedure backup;
    backup.name = "lying backup";
    backup.device = sim::ProfileForFamily(1);
    backup.startFlash = Pattern(0x10000, 3);
    backup.backupLength = 0x10000;
    backup.run = [](RunContext& c) {
        RecordingStatusSink sink;
        EngineOptions options;
        options.backupFileName = c.backupFile;
        BackupFlashToFile(c.path, options, sink);
        return RunOutcome{true, sink.statusText()};
    };
    const SweepFigures b = SweepProcedure(backup);
    EXPECT_EQ(b.falseSuccesses, b.totalRuns());
}

}  // namespace
}  // namespace vxe::reliability
