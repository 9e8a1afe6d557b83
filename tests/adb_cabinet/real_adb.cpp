#include "tests/adb_cabinet/real_adb.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "cabinet/payload.h"
#include "platform/platform.h"
#include "tests/support/test_environment.h"

namespace {

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

} // namespace

int freePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(s);
    return port;
}

bool EmulatedCabinet::start(const std::string &stateFolder, const std::string &hostKey,
                            std::string &error, const std::string &device) {
    folder = stateFolder;
    const pid_t child = fork();
    if (child < 0) {
        error = "fork failed";
        return false;
    }
    if (child == 0) {
        const std::string log = joinPath(folder, "fixture.log");
        if (freopen(log.c_str(), "w", stderr) == nullptr)
            _exit(126);
        execlp("python3", "python3", ADB_CABINET_SCRIPT, "--state", folder.c_str(), "--host-key",
               hostKey.c_str(), "--device", device.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    pid = child;
    // Python's start-up takes a moment on a busy machine: wait for the port, up to 30 s.
    const std::string portFile = joinPath(folder, "port");
    for (int i = 0; i < 600; i++) {
        const std::string text = readFile(portFile);
        if (!text.empty() && text.back() == '\n') {
            listeningPort = atoi(text.c_str());
            return true;
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            error = "the fixture ended at start: " + readFile(joinPath(folder, "fixture.log"));
            return false;
        }
        pause(50);
    }
    error = "the fixture did not listen within 30 s";
    return false;
}

void EmulatedCabinet::stop() {
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
}

void EmulatedCabinet::control(const std::string &json) const {
    const std::string path = joinPath(folder, "control.json");
    writeFile(path + ".new", json);
    rename((path + ".new").c_str(), path.c_str());
}

std::string EmulatedCabinet::controlText() const {
    return readFile(joinPath(folder, "control.json"));
}

int EmulatedCabinet::packagesReceived() const {
    int count = 0;
    while (pathExists(
        joinPath(joinPath(folder, "received"), "install-" + std::to_string(count + 1) + ".apk")))
        count++;
    return count;
}

long long EmulatedCabinet::takenIn() const {
    // intake.log: "SECONDS TOTAL" a line; the last line holds the total so far.
    const std::string text = readFile(joinPath(folder, "intake.log"));
    const size_t end = text.find_last_not_of('\n');
    if (end == std::string::npos)
        return 0;
    const size_t blank = text.rfind(' ', end);
    return blank == std::string::npos ? 0 : atoll(text.c_str() + blank + 1);
}

std::string EmulatedCabinet::receivedPackage(int number) const {
    return readFile(
        joinPath(joinPath(folder, "received"), "install-" + std::to_string(number) + ".apk"));
}

std::string EmulatedCabinet::sdcard() const { return joinPath(joinPath(folder, "root"), "sdcard"); }

std::string EmulatedCabinet::packagePlace(const std::string &package) const {
    const std::string text = readFile(joinPath(folder, "packages.json"));
    const std::string key = "\"" + package + "\": \"";
    const size_t at = text.find(key);
    if (at == std::string::npos)
        return "";
    const size_t begin = at + key.size();
    return text.substr(begin, text.find('"', begin) - begin);
}

std::string EmulatedCabinet::services() const { return readFile(joinPath(folder, "services.log")); }

std::string hostAdb(const std::string &arguments) { return hostAdbWith("", arguments); }

std::string hostAdbWith(const std::string &environment, const std::string &arguments) {
    const std::string command =
        environment + " " + std::string(REAL_ADB) + " " + arguments + " 2>&1 </dev/null";
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return "";
    std::string out;
    char buffer[4096];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, count);
    pclose(pipe);
    return out;
}

bool realAdbRuns(std::string &why) {
    if (access(REAL_ADB, X_OK) != 0) {
        why = std::string(REAL_ADB) + " is not there (Debian's package adb installs it)";
        return false;
    }
    if (hostAdb("version").find("Android Debug Bridge") == std::string::npos) {
        why = std::string(REAL_ADB) + " does not run here";
        return false;
    }
    if (system("python3 -c 'import selectors' >/dev/null 2>&1") != 0) {
        why = "python3 is missing; the emulated cabinet needs it";
        return false;
    }
    return true;
}

std::string processMark() {
    static const std::string mark = "quillmere-adb-tests-" + std::to_string(getpid());
    return mark;
}

std::vector<int> markedProcesses() {
    const std::string wanted = "QUILLMERE_ADB_TEST_MARK=" + processMark();
    std::vector<int> found;
    DIR *proc = opendir("/proc");
    if (proc == nullptr)
        return found;
    while (dirent *entry = readdir(proc)) {
        const int id = atoi(entry->d_name);
        if (id <= 0 || id == getpid())
            continue;
        const std::string environment =
            readFile("/proc/" + std::string(entry->d_name) + "/environ");
        size_t begin = 0;
        while (begin < environment.size()) {
            const size_t end = environment.find('\0', begin);
            const std::string entryText = environment.substr(begin, end - begin);
            if (entryText == wanted) {
                found.push_back(id);
                break;
            }
            if (end == std::string::npos)
                break;
            begin = end + 1;
        }
    }
    closedir(proc);
    return found;
}

void RealAdbTest::SetUp() {
    CabinetTest::SetUp();
    std::string why;
    if (!realAdbRuns(why))
        GTEST_SKIP() << "the real adb cannot run here: " << why;
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    home = scratchFolder("home-" + name);
    setEnvironment("HOME", home.c_str());
    setEnvironment("ADB_VENDOR_KEYS", nullptr);
    setEnvironment("ANDROID_SDK_HOME", nullptr);
    setEnvironment("ADB_SERVER_SOCKET", nullptr);
    setEnvironment("ANDROID_SERIAL", nullptr);
    setEnvironment("QUILLMERE_ADB_TEST_MARK", processMark().c_str());
    const std::string port = std::to_string(freePort());
    setEnvironment("ANDROID_ADB_SERVER_PORT", port.c_str());
    std::string error;
    ASSERT_TRUE(fixture.start(scratchFolder("cabinet-" + name),
                              joinPath(joinPath(home, ".android"), "adbkey.pub"), error))
        << error;
}

void RealAdbTest::TearDown() {
    if (!IsSkipped()) {
        // A test may have played the user's own ANDROID_SERIAL; kill-server does not read it.
        setEnvironment("ANDROID_SERIAL", nullptr);
        hostAdb("kill-server");
        fixture.stop();
        phone.stop();
        secondCabinet.stop();
        // The server ends once it has answered kill-server: give it up to 10 s to go.
        std::vector<int> left = markedProcesses();
        for (int i = 0; i < 200 && !left.empty(); i++) {
            pause(50);
            left = markedProcesses();
        }
        EXPECT_TRUE(left.empty()) << "processes left behind: " << left.size() << ", first "
                                  << (left.empty() ? 0 : left.front());
        for (int id : left)
            kill(id, SIGKILL);
    }
    CabinetTest::TearDown();
}

bool RealAdbTest::startPhone() { return startDevice(phone, "phone"); }

bool RealAdbTest::startDevice(EmulatedCabinet &device, const std::string &kind) {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string folder = kind + (&device == &phone ? "-" : "-second-") + name;
    std::string error;
    if (device.start(scratchFolder(folder), joinPath(joinPath(home, ".android"), "adbkey.pub"),
                     error, kind))
        return true;
    ADD_FAILURE() << "the " << kind << " did not start: " << error;
    return false;
}

void RealAdbTest::plugIn() const { plugIn(fixture); }

void RealAdbTest::plugIn(const EmulatedCabinet &device) const {
    hostAdb("connect " + device.serial());
}

void RealAdbTest::unplug() const { unplug(fixture); }

void RealAdbTest::unplug(const EmulatedCabinet &device) const {
    hostAdb("disconnect " + device.serial());
}

bool RealAdbTest::waitForState(const std::string &state) const {
    return waitForState(fixture, state);
}

bool RealAdbTest::waitForState(const EmulatedCabinet &device, const std::string &state) const {
    const std::string line = device.serial() + "\t" + state + "\n";
    for (int i = 0; i < 300; i++) {
        if (hostAdb("devices").find(line) != std::string::npos)
            return true;
        pause(100);
    }
    return false;
}
