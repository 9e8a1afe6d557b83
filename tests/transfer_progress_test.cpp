// The progress line of a long step, with the time given by the test.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "cabinet/transfer_progress.h"
#include "tests/support/cabinet_fixture.h"
#include "tests/support/test_environment.h"

namespace {

std::string formatted(uint64_t sent, uint64_t total, bool done, int64_t secondsLeft) {
    char line[progressTextSize];
    formatTransfer(sent, total, done, secondsLeft, line, sizeof line);
    return line;
}

TEST(TransferProgress, FiguresReadAsTheOwnerExpects) {
    struct FormatCase {
        uint64_t sent, total;
        bool done;
        int64_t secondsLeft;
        const char *line;
    };
    const FormatCase cases[] = {
        {87400000, 150000000, false, 58, "87 of 150 MB - 58% - less than a minute left"},
        {87400000, 150000000, false, 60, "87 of 150 MB - 58% - about 1 min left"},
        {87400000, 150000000, false, 61, "87 of 150 MB - 58% - about 2 min left"},
        {87400000, 150000000, false, -1, "87 of 150 MB - 58%"},
        {0, 168118921, false, -1, "0 of 168 MB - 0%"},
        // Never 100% while the step runs, and never rounded up.
        {168118920, 168118921, false, 0, "168 of 168 MB - 99% - less than a minute left"},
        {168118921, 168118921, false, -1, "168 of 168 MB - 99%"},
        {168118921, 168118921, true, -1, "168 of 168 MB - 100%"},
        {168118921, 168118921, true, 30, "168 of 168 MB - 100%"},
        // GB above 1000 MB, a tenth below 10 MB.
        {1234567890, 45678901234, false, 7500, "1.2 of 45.6 GB - 2% - about 125 min left"},
        {999999999, 1000000000, false, -1, "0.9 of 1.0 GB - 99%"},
        {999999, 5463665, false, -1, "0.9 of 5.4 MB - 18%"},
        {0, 0, false, -1, "0.0 of 0.0 MB - 0%"},
    };
    for (const FormatCase &c : cases)
        EXPECT_EQ(formatted(c.sent, c.total, c.done, c.secondsLeft), c.line) << c.line;
}

class TransferLine : public CabinetTest {};

// Measurements at given moments: the line is written once bytes move, then at most every half
// second while the figure differs from the one shown; the figure never goes back; the time left
// appears once three seconds of moving bytes have been measured.
TEST_F(TransferLine, FollowsTheBytesAndTellsTheTimeLeftOnceMeasured) {
    TransferProgress progress;
    beginTransfer(&progress, 100000000);
    const std::pair<uint64_t, uint64_t> measurements[] = {
        // moment (ms), bytes of the run
        {1000, 0},        {1100, 0},        {1200, 10000000}, {1400, 12000000},
        {1800, 15000000}, {2000, 11000000}, {2400, 20000000}, {4300, 30000000},
        {4900, 40000000}, {5300, 50000000}, {5400, 50000000}, {8000, 95000000},
    };
    for (const auto &m : measurements)
        measureTransfer(&progress, m.second, 100000000, m.first);
    // 20 MB in 3.1 s since 10 MB at 1.2 s: 70 MB more take 10.9 s.
    // Nothing is shown before bytes move. 20 MB in 3.1 s since 10 MB at 1.2 s: 70 MB more take
    // 10.9 s.
    EXPECT_EQ(recorded().progress, (std::vector<std::string>{
                                       "", // the step begins
                                       "10 of 100 MB - 10%",
                                       "15 of 100 MB - 15%",
                                       "20 of 100 MB - 20%",
                                       "30 of 100 MB - 30% - less than a minute left",
                                       "40 of 100 MB - 40% - less than a minute left",
                                       "50 of 100 MB - 50% - less than a minute left",
                                       "95 of 100 MB - 95% - less than a minute left",
                                   }));
    endTransferRun(&progress, 100000000);
    showTransferDone(&progress);
    EXPECT_EQ(recorded().progress.back(), "100 of 100 MB - 100%");
}

// The disc copy: one total for every folder, each folder's run counted on top of those sent.
TEST_F(TransferLine, FoldersCountTowardsOneTotal) {
    TransferProgress progress;
    beginTransfer(&progress, 30000000);
    measureTransfer(&progress, 9000000, 10000000, 1000);
    // The trace ran short of the folder's local size; the folder's end counts it whole.
    endTransferRun(&progress, 10000000);
    measureTransfer(&progress, 0, 20000000, 2000);
    measureTransfer(&progress, 25000000, 20000000, 3000); // never past the run's own share
    EXPECT_EQ(recorded().progress,
              (std::vector<std::string>{"", "9 of 30 MB - 30%", "10 of 30 MB - 33%",
                                        "29 of 30 MB - 99%"}));
    EXPECT_EQ(progress.sent, 30000000u - 1);
}

} // namespace
