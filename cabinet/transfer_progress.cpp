#include "cabinet/transfer_progress.h"

#include <cstdio>

#include "app/app_state.h"

constexpr uint64_t megabyte = 1000000;
constexpr uint64_t redrawMs = 500;
constexpr uint64_t measuredBeforeTimeLeftMs = 3000;

// Sizes as storage is sold: MB and GB of 10^6 and 10^9 bytes, never rounded up.
static void formatSizes(uint64_t sent, uint64_t total, char *out, size_t size) {
    if (total >= 1000 * megabyte) {
        snprintf(out, size, "%llu.%llu of %llu.%llu GB",
                 static_cast<unsigned long long>(sent / (1000 * megabyte)),
                 static_cast<unsigned long long>(sent / (100 * megabyte) % 10),
                 static_cast<unsigned long long>(total / (1000 * megabyte)),
                 static_cast<unsigned long long>(total / (100 * megabyte) % 10));
    } else if (total >= 10 * megabyte) {
        snprintf(out, size, "%llu of %llu MB", static_cast<unsigned long long>(sent / megabyte),
                 static_cast<unsigned long long>(total / megabyte));
    } else {
        snprintf(out, size, "%llu.%llu of %llu.%llu MB",
                 static_cast<unsigned long long>(sent / megabyte),
                 static_cast<unsigned long long>(sent / (megabyte / 10) % 10),
                 static_cast<unsigned long long>(total / megabyte),
                 static_cast<unsigned long long>(total / (megabyte / 10) % 10));
    }
}

void formatTransfer(uint64_t sent, uint64_t total, bool done, int64_t secondsLeft, char *out,
                    size_t size) {
    char sizes[64];
    formatSizes(sent, total, sizes, sizeof sizes);
    unsigned percent = 100;
    if (!done) {
        percent = total > 0 ? static_cast<unsigned>(sent * 100 / total) : 0;
        percent = percent > 99 ? 99 : percent; // 100% is for a step that has ended well
    }
    if (secondsLeft < 0 || done)
        snprintf(out, size, "%s - %u%%", sizes, percent);
    else if (secondsLeft < 60)
        snprintf(out, size, "%s - %u%% - less than a minute left", sizes, percent);
    else
        snprintf(out, size, "%s - %u%% - about %lld min left", sizes, percent,
                 static_cast<long long>((secondsLeft + 59) / 60));
}

void beginTransfer(TransferProgress *progress, uint64_t total) {
    *progress = {total, 0, 0, 0, 0, 0, 0, 0};
    clearTransfer();
}

void measureTransfer(TransferProgress *progress, uint64_t runBytes, uint64_t runTotal,
                     uint64_t nowMs) {
    progress->runMeasured = runBytes;
    const uint64_t most = runTotal > 0 ? runTotal - 1 : 0;
    const uint64_t run = runBytes < most ? runBytes : most;
    if (progress->doneBefore + run > progress->sent)
        progress->sent = progress->doneBefore + run; // the figure never goes back
    if (progress->startMs == 0 && progress->sent > 0) {
        progress->startMs = nowMs;
        progress->startBytes = progress->sent;
    }
    // Until bytes are seen moving there is nothing measured to show: where the system does not
    // tell (Wine counts no reads), the line stays away rather than standing still at 0%.
    if (progress->sent == 0)
        return;
    const bool shownYet = progress->lastShownMs != 0;
    if (shownYet && (progress->sent == progress->shown || nowMs - progress->lastShownMs < redrawMs))
        return;
    // The rate since bytes first moved; the first seconds, while the sockets fill, say too little.
    int64_t secondsLeft = -1;
    const uint64_t elapsed = progress->startMs != 0 ? nowMs - progress->startMs : 0;
    const uint64_t measured = progress->sent - progress->startBytes;
    if (elapsed >= measuredBeforeTimeLeftMs && measured > 0 && progress->total > progress->sent)
        secondsLeft = static_cast<int64_t>(static_cast<double>(progress->total - progress->sent) *
                                           static_cast<double>(elapsed) /
                                           static_cast<double>(measured) / 1000.0);
    char line[progressTextSize];
    formatTransfer(progress->sent, progress->total, false, secondsLeft, line, sizeof line);
    setProgressText(line);
    progress->shown = progress->sent;
    progress->lastShownMs = nowMs != 0 ? nowMs : 1;
}

void endTransferRun(TransferProgress *progress, uint64_t runTotal) {
    progress->doneBefore += runTotal;
    progress->runMeasured = 0;
    if (progress->doneBefore > progress->sent)
        progress->sent = progress->doneBefore;
}

void showTransferDone(TransferProgress *progress) {
    char line[progressTextSize];
    formatTransfer(progress->total, progress->total, true, -1, line, sizeof line);
    setProgressText(line);
}

void clearTransfer() { setProgressText(""); }
