// The one interface between the portable program and the operating system. Each platform folder
// (win32/, linux/) implements every function declared here; the build picks one. Nothing in this
// header names a system type: handles travel as opaque pointers.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Facts of the target -------------------------------------------------------------------

// Separator between a folder and a name in the paths the program forms.
extern const char platformPathSeparator;

// The cabinet tool's files in the work folder: the tool itself first, then the libraries it needs
// beside it (Windows carries two DLLs; Linux needs none).
struct ToolFile {
    uint16_t resourceId;
    const char *fileName;
    bool executable;
};
extern const ToolFile platformToolFiles[];
extern const int platformToolFileCount;

// The status text when the temporary folder's path leaves no room for the work folder's files. It
// names the setting through which the user chooses that folder on this system.
extern const char platformPathTooLongText[];

// ---- Executable resources ------------------------------------------------------------------

// Finds the raw-data resource `id` carried in the executable. False when it is missing or cannot
// be loaded (the outputs are then untouched); otherwise both outputs are written, the bytes stay
// valid and read-only for the life of the process, and the size may be 0.
bool resourceBytes(uint16_t id, const void **data, uint32_t *size);

// ---- Files and folders ---------------------------------------------------------------------

// The user's temporary folder with its trailing separator, bounded to `size` bytes.
void temporaryFolder(char *path, size_t size);

// The places a work folder may be made in, in order of preference, each with its trailing
// separator. Windows has the temporary folder alone; Linux adds two places of the user's own, for
// a temporary folder from which programs may not run. `create` makes a place of the program's own
// that does not exist yet.
enum class PlaceLookup { Found, TooLong, Unavailable };
extern const int platformWorkPlaceCount;
PlaceLookup workFolderPlace(int index, bool create, char *path, size_t size);

// False when the folder's file system forbids running programs from it (Linux's noexec); true
// when it allows it or cannot be asked.
bool folderCanRunPrograms(const char *path);

// True when the path is a real folder (not a link) that is safe to treat as ours: on Windows any
// folder; on Linux only one owned by this user with mode 0700.
bool isPrivateFolder(const char *path);

// Creates a folder only this user can use. True when it was created, or when it exists already
// and is safe to use as ours (on Windows any existing folder; on Linux only a real folder owned
// by this user with mode 0700, since the temporary folder is shared between users there).
bool createPrivateFolder(const char *path);

// Creates or replaces the file and writes all bytes in one go. `opened` reports whether the file
// could be created at all. True only when every byte was written; a short write leaves the file
// as far as it got.
bool writeWholeFile(const char *path, const void *data, uint32_t size, bool executable,
                    bool *opened);

bool deleteFile(const char *path);
bool removeFolder(const char *path);

// Calls `visit` for every entry of the folder, dotted ones included, in the order the system
// lists them, until it returns false. False when the listing cannot be opened.
typedef bool (*FolderVisitor)(const char *name, bool isFolder, void *context);
bool listFolder(const char *path, FolderVisitor visit, void *context);

enum class PathKind { Missing, File, Folder };
PathKind pathKind(const char *path);

// The size in bytes of the file at `path`; false when it cannot be read.
bool fileSize(const char *path, uint64_t *size);

// Full path of the running executable. False when it cannot be read or does not fit `size` bytes
// (it is never cut).
bool executablePath(char *path, size_t size);

// ---- Child processes -----------------------------------------------------------------------

// A started child whose standard output and standard error arrive on one pipe. `job` holds what
// the platform needs to end the child together with what it started (Windows: a job object).
struct ChildProcess {
    void *process;
    void *thread;
    void *job;
    intptr_t output;
};

// Starts the command line (Windows quoting rules; the program is its first word) hidden, with
// `currentFolder` as its current folder, no standard input, and standard output and error on one
// pipe that only this child inherits. The child gets this program's environment, changed by
// `environmentChanges` (null, or a list ending in null): "NAME=VALUE" sets a variable, a bare
// "NAME" removes it. The child starts a process group (Windows: a job) of its own, which what it
// starts joins unless it detaches itself, as adb's server does. False when the pipe or the
// process cannot be created.
bool startChild(const char *commandLine, const char *currentFolder,
                const char *const *environmentChanges, ChildProcess *child);

// Reads what the child wrote, waiting at most `waitMs` for something to arrive. Returns the count
// of bytes read, 0 once every writer has closed the pipe or a read failed, and
// childReadTimedOut when nothing arrived in time.
constexpr int32_t childReadTimedOut = -2;
int32_t readChildOutput(ChildProcess *child, char *buffer, int32_t capacity, uint32_t waitMs);

void closeChildOutput(ChildProcess *child);

// How many bytes the running child has read so far (files, and the little it reads from sockets),
// as the system counts them; -1 where the system does not tell.
int64_t childBytesRead(ChildProcess *child);

// Waits at most `waitMs` for the child to end and releases it. Returns its exit code,
// childStillRunning when it had not ended, or -1 when the code cannot be read. A child that has
// not ended by then is ended, with every process it started that stayed in its group (job);
// `endWhatItStarted` ends those also when the child itself has ended. A server that detached
// itself is left running.
constexpr int32_t childStillRunning = 259;
int32_t finishChild(ChildProcess *child, uint32_t waitMs, bool endWhatItStarted);

// This process's id, and whether a process with the given id runs (one this user may not look
// at counts as running).
uint32_t currentProcessId();
bool processIsRunning(uint32_t id);

// True when a running program was started from a file inside the folder.
bool programRunsFromFolder(const char *folder);

// ---- The only copy -------------------------------------------------------------------------

// True when no other copy of the program runs for this user; the claim then holds until
// releaseOnlyCopy or the end of the process. True as well when the system cannot tell.
bool claimOnlyCopy();
void releaseOnlyCopy();
// Brings the window of the copy that runs already to the front, waiting a few seconds for it
// when that copy is still starting. False when it cannot be found or raised from here.
bool raiseOtherCopy();

// ---- Time ----------------------------------------------------------------------------------

// Milliseconds since the system started; wraps after 49.7 days.
uint32_t systemTickCount();
// A clock that never wraps, for deadlines.
uint64_t monotonicMilliseconds();
int64_t performanceCounter();
int64_t performanceFrequency();
void sleepMilliseconds(uint32_t ms);

// ---- Threads -------------------------------------------------------------------------------

typedef uint32_t (*ThreadFunction)(void *argument);
// Starts a thread; null when it cannot be started. The handle is never closed by the program.
void *startThread(ThreadFunction function, void *argument);
// True when the thread ended within `waitMs` (waitForever: no limit). Wait for a given thread
// once at most.
constexpr uint32_t waitForever = 0xFFFFFFFF;
bool waitForThread(void *thread, uint32_t waitMs);
// Releases the handle of a thread that has been waited for.
void releaseThread(void *thread);
// Raises the calling thread to the highest priority the system grants it.
void raiseThreadPriority();

// A counting semaphore; null when it cannot be made. A release that would pass the maximum
// fails, returns false and changes nothing.
void *createSemaphore(int32_t initialCount, int32_t maximumCount);
bool releaseSemaphore(void *semaphore);
void waitSemaphore(void *semaphore); // without a time limit
void closeSemaphore(void *semaphore);

// ---- Sound output --------------------------------------------------------------------------

// The system's default waveform output, driven as Windows drives it: buffers are prepared once,
// queued, played in queue order and handed back one by one through the completion callback.
// Linux offers the same operations over SDL's audio device, so the player is written once.

// 16-bit interleaved PCM at the given rate and channel count.
struct SoundFormat {
    int32_t channels;
    int32_t sampleRate;
};

// One buffer as the device sees it, laid out as the Windows buffer header it stands for.
struct SoundHeader {
    char *lpData;
    uint32_t dwBufferLength;
    uint32_t dwBytesRecorded;
    uintptr_t dwUser;
    uint32_t dwFlags;
    uint32_t dwLoops;
    SoundHeader *lpNext;
    uintptr_t reserved;
};
constexpr uint32_t soundHeaderDone = 0x1;     // the device has finished with it
constexpr uint32_t soundHeaderPrepared = 0x2; // prepared, until unprepared
constexpr uint32_t soundHeaderInQueue = 0x10; // queued and not yet finished

// The device's messages to the callback: opened, closed, one buffer finished.
constexpr uint32_t soundMessageOpen = 0x3BB;
constexpr uint32_t soundMessageClose = 0x3BC;
constexpr uint32_t soundMessageDone = 0x3BD;
// Called on a thread of the system's; `parameter1` is the finished header.
typedef void (*SoundCallback)(void *device, uint32_t message, uintptr_t instance,
                              uintptr_t parameter1, uintptr_t parameter2);

// Each returns 0 on success and the system's error code otherwise.
uint32_t openSoundOutput(void **device, const SoundFormat *format, SoundCallback callback,
                         uintptr_t instance);
uint32_t prepareSoundHeader(void *device, SoundHeader *header);
uint32_t queueSoundHeader(void *device, SoundHeader *header);
// Stops playback; every queued buffer is handed back, each through the callback.
uint32_t resetSoundOutput(void *device);
uint32_t unprepareSoundHeader(void *device, SoundHeader *header);
// No callback runs after the device is closed.
uint32_t closeSoundOutput(void *device);

// ---- Message boxes -------------------------------------------------------------------------

// The box's buttons and icon, with the values Windows gives them.
constexpr uint32_t messageBoxOk = 0x0;
constexpr uint32_t messageBoxYesNo = 0x4;
constexpr uint32_t messageBoxIconInformation = 0x40;
constexpr uint32_t messageBoxDefaultSecond = 0x100;
// What the user chose.
constexpr int32_t messageBoxChoseOk = 1;
constexpr int32_t messageBoxChoseYes = 6;
constexpr int32_t messageBoxChoseNo = 7;

// Shows a modal box owned by the window (null: no owner) and returns the choice, or 0 when no box
// could be shown.
int32_t showMessageBox(void *owner, const char *text, const char *caption, uint32_t type);

// Tests put their own function in place of the system's box, to see every box and answer it;
// null restores the system's.
typedef int32_t (*MessageBoxFunction)(void *owner, const char *text, const char *caption,
                                      uint32_t type);
void replaceMessageBox(MessageBoxFunction function);

// ---- The window and its GL context ---------------------------------------------------------

enum class WindowCreation { Created, RegistrationFailed, CreationFailed };

// Registers the window class and creates the borderless, colour-keyed window of the given size,
// centred on the primary screen and visible; stores its handle in `windowHandle`.
WindowCreation createMainWindow(int32_t width, int32_t height);

// Puts a double-buffered RGBA format on the window and makes a GL context current on this thread
// (Windows: a legacy one; Linux: a 3.3 core one where the driver has it, else a compatibility
// one); stores `deviceContext` and `glContext`. False at the first failing step.
bool createGlContext(void *window);

// A GL entry point beyond OpenGL 1.1, by name; null when the driver has none.
void *glProcAddress(const char *name);

// Dispatches every pending window message to the window's handlers; never waits.
void pumpWindowMessages();

void presentFrame();

// Asks the driver to wait for the display's refresh at each buffer swap (a swap interval of 1).
// False when the driver offers no such control.
bool followDisplayRefresh();

// True while the window is minimised (or hidden): there is nothing to draw then.
bool windowIsMinimised();

// Releases the GL context and the device context, then destroys the window (whose destroy
// handling runs once more).
void releaseWindow();

// Tells the message loop that the program is ending (the loop itself looks at `appRunning`).
void postQuitMessage();

// The cursor's position on the screen, and the window's top-left corner there.
void cursorScreenPosition(int32_t *x, int32_t *y);
void windowScreenPosition(void *window, int32_t *x, int32_t *y);
void moveWindow(void *window, int32_t x, int32_t y);

// Opens a web address in the user's browser.
void openWebAddress(const char *address);

// Gives the window the outline of the picture `rgba` (width x height, top row first): pure
// magenta pixels are left out. Windows keys magenta out of every frame instead and needs none.
void shapeWindow(void *window, const unsigned char *rgba, int32_t width, int32_t height);
