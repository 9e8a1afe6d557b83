// The worker's wait for the cabinet, in virtual time: each sleep moves the clock on at once, while
// every probe is a real run of the tool.
#include <gtest/gtest.h>

#include "cabinet/operations.h"
#include "cabinet/payload.h"
#include "tests/support/cabinet_fixture.h"
#include "tests/support/test_environment.h"

namespace {

const char authorisationText[] =
    "Waiting for authorisation...\nOn the cabinet, tap\n\"Allow USB debugging\".";
const char waitingText[] = "Waiting for cabinet...\nConnect USB and enable\nUSB debugging.";

class CabinetWait : public CabinetTest {
  protected:
    void SetUp() override {
        CabinetTest::SetUp();
        ASSERT_TRUE(prepareAdb());
        setCabinetSerial(simCabinetSerial); // as the poller leaves it when it shows the button
        clearRecording();
    }
    static bool wait(uint32_t limitMs) {
        char serial[128] = "";
        return waitForCabinet(limitMs, serial, sizeof serial);
    }
    size_t probes() const {
        size_t count = 0;
        for (const auto &line : commands())
            count += line == std::vector<std::string>{"devices"};
        return count;
    }
};

TEST_F(CabinetWait, ReadyAtOnceCostsOneProbeAndLeavesTheText) {
    cabinet.setLink("ready");
    setStatusText("%s", "Preparing files...");
    clearRecording();
    EXPECT_TRUE(wait(90000));
    EXPECT_EQ(probes(), 1u);
    EXPECT_TRUE(recorded().texts.empty());
    EXPECT_EQ(VirtualClock::sleeps.load(), 0u);
}

TEST_F(CabinetWait, UnauthorisedThenAllowedGoesOn) {
    cabinet.setLink("ready");
    cabinet.write("link-queue", "unauthorized\nunauthorized\noffline\nnone\nready\n");
    EXPECT_TRUE(wait(90000));
    EXPECT_EQ(probes(), 5u);
    EXPECT_EQ(recorded().texts, (std::vector<std::string>{authorisationText, authorisationText,
                                                          waitingText, waitingText}));
}

// Probes at 0, 1000, ..., 90000 ms find nothing; at exactly the limit there is one more sleep and
// probe, and the one that ends at 91000 ms gives up.
TEST_F(CabinetWait, NeverReadyFailsAfterTheFirstProbePastTheLimit) {
    cabinet.setLink("none");
    EXPECT_FALSE(wait(90000));
    EXPECT_EQ(probes(), 92u);
    EXPECT_EQ(VirtualClock::now.load(), 5000u + 91000u);
    EXPECT_EQ(statusText(), waitingText);
}

TEST_F(CabinetWait, TickCounterWrappingAcrossTheWait) {
    VirtualClock::now = 0xffffffffu - 30500u;
    cabinet.setLink("unauthorized");
    EXPECT_FALSE(wait(90000));
    EXPECT_EQ(probes(), 92u);
    EXPECT_EQ(statusText(), authorisationText);
}

} // namespace
