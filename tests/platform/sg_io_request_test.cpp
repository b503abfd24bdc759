#include "platform/sg_io_request.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>

namespace vxe {
namespace {

struct Fixture {
    std::array<uint8_t, 12> cdb{0xE0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0};
    std::array<uint8_t, 4096> data{};
    std::array<uint8_t, kSgSenseBufferSize> sense{};

    PassThroughRequest request(DataDirection direction, uint32_t length, uint32_t timeoutSeconds) {
        PassThroughRequest r;
        r.path = "/dev/sg0";
        r.direction = direction;
        r.cdb = cdb.data();
        r.cdbLength = static_cast<uint8_t>(cdb.size());
        r.dataBuffer = length > 0 ? data.data() : nullptr;
        r.dataTransferLength = length;
        r.timeoutSeconds = timeoutSeconds;
        return r;
    }
};

TEST(SgIoHeader, CarriesCommandBlockDataPhaseAndSenseBuffer) {
    Fixture f;
    struct Case {
        DataDirection direction;
        uint32_t length;
        int expectedDirection;
    };
    for (const Case& c : {Case{DataDirection::In, 1, SG_DXFER_FROM_DEV}, Case{DataDirection::In, 4, SG_DXFER_FROM_DEV},
                          Case{DataDirection::In, 4096, SG_DXFER_FROM_DEV}, Case{DataDirection::Out, 1, SG_DXFER_TO_DEV},
                          Case{DataDirection::Out, 4, SG_DXFER_TO_DEV}}) {
        SCOPED_TRACE(c.length);
        PassThroughRequest r = f.request(c.direction, c.length, 20);
        r.cdbLength = 6;
        sg_io_hdr_t h = BuildSgIoHeader(r, f.sense);
        EXPECT_EQ(h.interface_id, 'S');
        EXPECT_EQ(h.dxfer_direction, c.expectedDirection);
        EXPECT_EQ(h.dxfer_len, c.length);
        EXPECT_EQ(h.dxferp, f.data.data());
        EXPECT_EQ(h.cmdp, f.cdb.data());
        EXPECT_EQ(h.cmd_len, 6);
        EXPECT_EQ(h.sbp, f.sense.data());
        EXPECT_EQ(h.mx_sb_len, f.sense.size());
    }
}

TEST(SgIoHeader, EmptyDataPhaseGoesOutWithoutDirectionEitherWay) {
    Fixture f;
    for (DataDirection direction : {DataDirection::In, DataDirection::Out}) {
        sg_io_hdr_t h = BuildSgIoHeader(f.request(direction, 0, 10), f.sense);
        EXPECT_EQ(h.dxfer_direction, SG_DXFER_NONE);
        EXPECT_EQ(h.dxfer_len, 0u);
        EXPECT_EQ(h.dxferp, nullptr);
    }
}

TEST(SgIoHeader, TimeoutIsSecondsInMillisecondsAndNeverWraps) {
    Fixture f;
    for (uint32_t seconds : {10u, 20u, 100u}) {
        EXPECT_EQ(BuildSgIoHeader(f.request(DataDirection::In, 4, seconds), f.sense).timeout, seconds * 1000u);
    }
    EXPECT_EQ(BuildSgIoHeader(f.request(DataDirection::In, 4, 0xFFFFFFFFu), f.sense).timeout, 0xFFFFFFFFu);
}

TEST(SgIoRequestCheck, RefusesWhatTheDriverCouldNotCarrySafely) {
    Fixture f;
    EXPECT_EQ(CheckPassThroughRequest(f.request(DataDirection::In, 16, 20)), 0);
    EXPECT_EQ(CheckPassThroughRequest(f.request(DataDirection::In, 0, 20)), 0) << "no data needs no buffer";

    const auto broken = [&](auto breakIt) {
        PassThroughRequest r = f.request(DataDirection::In, 16, 20);
        breakIt(r);
        return CheckPassThroughRequest(r);
    };
    EXPECT_EQ(broken([](PassThroughRequest& r) { r.dataBuffer = nullptr; }), EINVAL);
    EXPECT_EQ(broken([](PassThroughRequest& r) { r.cdb = nullptr; }), EINVAL);
    EXPECT_EQ(broken([](PassThroughRequest& r) { r.cdbLength = 0; }), EINVAL);
    EXPECT_EQ(broken([](PassThroughRequest& r) { r.cdbLength = 17; }), EINVAL);
    EXPECT_EQ(broken([](PassThroughRequest& r) { r.dataTransferLength = 0x80000000u; }), EINVAL);
}

sg_io_hdr_t Completed(unsigned length, int resid, unsigned short host = 0, unsigned short driver = 0,
                      unsigned char status = 0) {
    sg_io_hdr_t h{};
    h.dxfer_len = length;
    h.resid = resid;
    h.host_status = host;
    h.driver_status = driver;
    h.status = status;
    return h;
}

TEST(SgIoJudge, CleanCompletionSucceedsWhateverTheScsiStatus) {
    SgIoOutcome good = JudgeSgIoHeader(0, 0, Completed(16, 0));
    EXPECT_TRUE(good.succeeded);
    EXPECT_EQ(good.errorCode, 0u);
    EXPECT_EQ(good.transferred, 16u);

    // CHECK CONDITION with valid sense data: carried, the caller judges content.
    SgIoOutcome checkCondition = JudgeSgIoHeader(0, 0, Completed(16, 16, 0, kSgDriverSense, 0x02));
    EXPECT_TRUE(checkCondition.succeeded);
    EXPECT_EQ(checkCondition.errorCode, 0u);
    EXPECT_EQ(checkCondition.transferred, 0u);
}

TEST(SgIoJudge, IoctlFailureReportsErrno) {
    SgIoOutcome o = JudgeSgIoHeader(-1, ENODEV, Completed(8, 0));
    EXPECT_FALSE(o.succeeded);
    EXPECT_EQ(o.errorCode, static_cast<uint32_t>(ENODEV));

    SgIoOutcome noErrno = JudgeSgIoHeader(-1, 0, Completed(8, 0));
    EXPECT_FALSE(noErrno.succeeded);
    EXPECT_NE(noErrno.errorCode, 0u) << "a failure must never look like success";
}

TEST(SgIoJudge, HostOrDriverErrorFailsWithDistinctCode) {
    SgIoOutcome host = JudgeSgIoHeader(0, 0, Completed(8, 0, 0x03 /* DID_TIME_OUT */));
    EXPECT_FALSE(host.succeeded);
    EXPECT_EQ(host.errorCode, kSgStatusErrorBase | 0x0300u);

    SgIoOutcome driver = JudgeSgIoHeader(0, 0, Completed(8, 0, 0, 0x06 /* DRIVER_TIMEOUT */));
    EXPECT_FALSE(driver.succeeded);
    EXPECT_EQ(driver.errorCode, kSgStatusErrorBase | 0x06u);

    SgIoOutcome driverWithSense = JudgeSgIoHeader(0, 0, Completed(8, 0, 0, 0x04 | kSgDriverSense));
    EXPECT_FALSE(driverWithSense.succeeded) << "the sense flag must not hide a driver error";
    EXPECT_GT(driverWithSense.errorCode, 0xFFFFu) << "never mistaken for an errno";
}

TEST(SgIoJudge, TransferredIsRequestedLessResidueWithinBounds) {
    EXPECT_EQ(JudgeSgIoHeader(0, 0, Completed(4096, 96)).transferred, 4000u);
    EXPECT_EQ(JudgeSgIoHeader(0, 0, Completed(4, 4)).transferred, 0u);
    EXPECT_EQ(JudgeSgIoHeader(0, 0, Completed(4, 9)).transferred, 0u);
    EXPECT_EQ(JudgeSgIoHeader(0, 0, Completed(4, -3)).transferred, 4u);
    EXPECT_EQ(JudgeSgIoHeader(0, 0, Completed(0, 0)).transferred, 0u);
    // A failed call still reports the length the header holds.
    EXPECT_EQ(JudgeSgIoHeader(-1, EIO, Completed(64, 0)).transferred, 64u);
}

}  // namespace
}  // namespace vxe
