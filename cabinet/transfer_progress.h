// The progress line of a long step (a package's install, the disc copy): the bytes adb has sent of
// the step's total, the percentage and, once a few seconds have been measured, the time left.
#pragma once

#include <cstddef>
#include <cstdint>

struct TransferProgress {
    uint64_t total;       // bytes of the whole step: the local sizes
    uint64_t doneBefore;  // bytes of the step's runs that have ended (the folders already sent)
    uint64_t sent;        // the last figure shown, which never goes back
    uint64_t startMs;     // when bytes were first seen moving; 0 before
    uint64_t startBytes;  // the figure at that moment
    uint64_t runMeasured; // what the current run has been measured to send, before any bound
    uint64_t shown;       // the figure on the line now
    uint64_t lastShownMs; // when the line was last written
};

// A new step: the line is cleared until bytes move.
void beginTransfer(TransferProgress *progress, uint64_t total);

// The current run has sent `runBytes` of `runTotal`, its own share of the total; until it has
// ended it counts one byte short of that share at most. Writes the line once bytes have moved, and
// again when the figure differs from the one shown and half a second has passed since.
void measureTransfer(TransferProgress *progress, uint64_t runBytes, uint64_t runTotal,
                     uint64_t nowMs);

// The current run ended with success: its whole share counts as sent.
void endTransferRun(TransferProgress *progress, uint64_t runTotal);

// The step ended with success: the line shows the whole total, at 100%.
void showTransferDone(TransferProgress *progress);

// No step is moving bytes any more.
void clearTransfer();

// "87 of 150 MB - 58% - about 1 min left". The percentage reads 100 only when `done`; the time
// left is shown when `secondsLeft` is not negative.
void formatTransfer(uint64_t sent, uint64_t total, bool done, int64_t secondsLeft, char *out,
                    size_t size);
