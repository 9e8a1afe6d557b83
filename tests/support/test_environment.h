// Helpers the tests share: scratch folders, the environment the program and its children see,
// a virtual clock, and putting the shared state back to its start.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// A fresh, empty folder for one test, below a folder of this test run.
std::string scratchFolder(const std::string &name);
// The running test's name, for naming its folders; a test run again (--gtest_repeat) gets a name
// of its own each time, since on Windows a tool server from its last run may still be running from
// the old folders, and so still holds the tool's file.
std::string folderNameForThisRun();
void removeTree(const std::string &path);
std::string readFile(const std::string &path);
void writeFile(const std::string &path, const std::string &bytes);
bool pathExists(const std::string &path);
std::vector<std::string> folderNames(const std::string &path); // sorted, without . and ..
std::string joinPath(const std::string &folder, const std::string &name);

struct ChildProcess;
// The process id of a child that startChild started.
uint32_t childProcessId(const ChildProcess &child);

// On Linux, points XDG_RUNTIME_DIR and HOME at folders of the test's own, so that the lock of the
// only copy and the places of work folders are the test's and not the user's; restore() puts the
// user's back. Nothing to do on Windows, where they live in the test's Wine prefix.
struct PrivateUserFolders {
    std::string runtime;
    std::string home;
    void useOwn();
    void restore();

  private:
    std::string savedHome;
    std::string savedRuntime;
    bool hadHome = false;
    bool hadRuntime = false;
};

// The name this process gives its work folder at the tick count `ticks`.
std::string workFolderName(uint32_t ticks);

void setEnvironment(const char *name, const char *value); // null value removes it
// Points the system's temporary folder (TMPDIR, or TMP and TEMP on Windows) at `path`.
void useTemporaryFolder(const std::string &path);
// Puts those variables back as the test run found them, so that no later test, nor a process it
// starts, is sent to a folder that has since been removed.
void restoreTemporaryFolder();

// The shared record as the program starts, with the work folder forgotten.
void resetAppState();

// A clock the test moves by hand; every sleep of the program's own waits advances it.
struct VirtualClock {
    static std::atomic<uint32_t> now;
    static std::atomic<uint32_t> sleeps;
    static void install(uint32_t start);
    static void uninstall();
};

// Whether the process is still running (one that has ended but is not yet reaped is not).
bool processAlive(unsigned long pid);

// Milliseconds on the system's clock, for bounds on how long a call may take.
uint64_t wallMilliseconds();

// A clock whose sleeps wait until the test lets them end, so a thread that loops with a sleep
// can be moved on one pass at a time.
struct SteppedClock {
    static void install();
    static void uninstall(); // ends every sleep, now and later
    // Waits (in real time, at most 30 s) until `count` sleeps have begun; false on time-out.
    static bool waitForSleeps(int count);
    // Lets one sleep that has begun, or the next to begin, end.
    static void releaseOne();
};

// The small file system named by QUILLMERE_SMALL_DISK, emptied of filler and made the temporary
// folder; empty when none is named.
std::string useSmallDisk();

// Fills the file system at `disk` so that only about `room` bytes stay free; the filler is
// `disk`/filler, and removing it gives the room back.
void fillDiskLeaving(const std::string &disk, uint64_t room);
