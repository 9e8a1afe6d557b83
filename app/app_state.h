// The one process-wide record through which the UI thread, the status poller and an operation
// worker meet. Flags, the stage and handles that more than one thread touches are atomics; the
// two texts that more than one thread touches are reached only through the guarded helpers below.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

enum OperationStage : int32_t {
    Idle = 0,
    Preparing = 1,
    StartingServer = 2,
    InstallingEmulator = 3,
    InstallingLauncher = 4,
    CopyingDiscs = 5,
    StartingCabinet = 6,
    Done = 7,
    Failed = 8,
};

constexpr size_t statusTextSize = 512;
constexpr size_t pathSize = 260;
constexpr size_t cabinetSerialSize = 128;
constexpr size_t progressTextSize = 96;

struct AppState {
    std::atomic<bool> appRunning;
    std::atomic<bool> pollerRunning;
    int32_t windowWidth;
    int32_t windowHeight;
    char statusText[statusTextSize];     // guarded: use setStatusText / copyStatusText
    char progressText[progressTextSize]; // guarded: use setProgressText / copyProgressText
    const char *helpVideoUrl;
    const char *helpText;
    std::atomic<void *> windowHandle;
    std::atomic<void *> deviceContext;
    std::atomic<void *> glContext;
    int32_t mouseX;
    int32_t mouseYUp;
    bool dragging;
    bool hoverClose;
    bool hoverSound;
    int32_t dragOffsetX;
    int32_t dragOffsetY;
    bool hoverPrimary;
    bool hoverHelp;
    bool soundMuted;
    std::atomic<OperationStage> operationStage;
    std::atomic<void *> workerThread;
    std::atomic<bool> cabinetReady;
    std::atomic<bool> modInstalled;
    char cabinetSerial[cabinetSerialSize]; // guarded: use copyCabinetSerial / the reports below
    std::atomic<bool> adbReady;
    std::atomic<bool> packagesReady;
    char workDir[pathSize]; // guarded: use copyWorkDir / the payload functions
    std::atomic<void *> pollerThread;
};

extern AppState appState;

extern const char initialStatusText[];

// Replaces the whole status text with bounded formatting (snprintf semantics into all 512 bytes).
// The guard is held while formatting, so no reader ever sees half of one text and half of another.
void setStatusText(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Copies the status text out under the same guard; the copy is always terminated.
void copyStatusText(char *out, size_t size);

// The progress line under the status lines while a long step moves bytes; empty otherwise. The
// worker writes it, the frame reads it, under the status text's guard.
void setProgressText(const char *text);
void copyProgressText(char *out, size_t size);

// Moves the operation to `stage`.
void setOperationStage(OperationStage stage);

// An operation may start only while none runs. Under the status text's guard: when the stage is
// Idle, Done or Failed, it becomes Preparing and the text "Preparing..."; true when it did.
bool beginOperation();

// The status poller's writes. Each checks the stage under the same guard that beginOperation
// takes, so a poller pass that began before a click never overwrites what the click and the
// worker wrote, nor the flags as they were at the click. False once an operation was requested.
// `serial` is the cabinet's, which every later run for it is pinned to (empty: none found).
bool reportCabinetReadyWhileIdle(bool ready, const char *serial);
bool reportModInstalledWhileIdle(bool installed, const char *text);
bool reportStatusTextWhileIdle(const char *text);

// The serial of the cabinet found last, by the poller or an operation's wait; empty when none.
void copyCabinetSerial(char *out, size_t size);
void setCabinetSerial(const char *serial);

// Tests watch every write of the status text and the stage, in order.
struct StateObserver {
    void (*statusTextWritten)(const char *text);
    void (*stageWritten)(OperationStage stage);
    void (*progressTextWritten)(const char *text);
};
void observeState(StateObserver observer);

// The work folder's path as it is now (empty while there is none), copied under its guard.
void copyWorkDir(char *out, size_t size);

// Writes the work folder's path under its guard.
void setWorkDir(const char *path);

// Empties the work folder's path, but only while it still names `path`: a folder named after the
// caller looked keeps its name.
void clearWorkDirIf(const char *path);
