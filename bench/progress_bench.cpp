// Prints what the progress line costs: a disc copy of 300 MB through Debian's real adb and the
// emulated cabinet, pushed with and without the trace that the progress line reads, in turns in
// one run; and what reading the trace costs per line.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/app_state.h"
#include "cabinet/adb_trace.h"
#include "cabinet/payload.h"
#include "cabinet/tool_runner.h"
#include "cabinet/transfer_progress.h"

namespace fs = std::filesystem;

static double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

static std::string readAll(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

static pid_t startCabinet(const fs::path &state, const fs::path &hostKey) {
    const pid_t child = fork();
    if (child == 0) {
        if (freopen((state / "fixture.log").c_str(), "w", stderr) == nullptr)
            _exit(126);
        execlp("python3", "python3", ADB_CABINET_SCRIPT, "--state", state.c_str(), "--host-key",
               hostKey.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    return child;
}

static int traceCost() {
    const std::string capture = readAll(TRACE_CAPTURE);
    std::string many;
    while (many.size() < 64 * 1024 * 1024)
        many += capture;
    std::vector<char> output(8192);
    const auto start = std::chrono::steady_clock::now();
    TraceReader reader;
    startTrace(&reader);
    for (size_t at = 0; at < many.size(); at += 4096) {
        size_t position = 0; // adb's own words: dropped here, only the trace is timed
        readTrace(&reader, many.data() + at, std::min<size_t>(4096, many.size() - at),
                  output.data(), output.size() - 1, &position);
    }
    const double seconds = secondsSince(start);
    printf("trace reading: %u lines (%zu MB) in %.3f s: %.0f ns a line, %.0f MB/s\n",
           reader.traceLines, many.size() / 1000000, seconds, seconds * 1e9 / reader.traceLines,
           many.size() / seconds / 1e6);
    return 0;
}

int main() {
    traceCost();

    const fs::path base = fs::temp_directory_path() / "quillmere-progress-bench";
    fs::remove_all(base);
    const fs::path home = base / "home";
    const fs::path state = base / "cabinet";
    const fs::path discs = base / "discs" / "Racing";
    fs::create_directories(home / ".android");
    fs::create_directories(state);
    fs::create_directories(discs);
    fs::create_directories(base / "temp");
    setenv("HOME", home.c_str(), 1);
    setenv("TMPDIR", (base / "temp").c_str(), 1);
    setenv("ANDROID_ADB_SERVER_PORT", "15277", 1);

    // 300 MB in 30 files of 10 MB.
    std::string block(10000000, '\0');
    for (size_t i = 0; i < block.size(); i++)
        block[i] = static_cast<char>(i * 2654435761u >> 13);
    for (int i = 0; i < 30; i++)
        std::ofstream(discs / ("track" + std::to_string(i) + ".bin"), std::ios::binary) << block;
    const uint64_t bytes = 30ull * block.size();

    if (!prepareAdb()) {
        printf("the tool could not be unpacked\n");
        return 1;
    }
    char output[4096];
    runAdb("start-server", output, sizeof output, 30000); // makes the host's key
    const pid_t cabinet = startCabinet(state, home / ".android" / "adbkey.pub");
    std::string port;
    for (int i = 0; i < 300 && port.empty(); i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        port = readAll(state / "port");
        while (!port.empty() && (port.back() == '\n' || port.back() == '\r'))
            port.pop_back();
    }
    const std::string serial = "127.0.0.1:" + port;
    runAdb(("connect " + serial).c_str(), output, sizeof output, 30000);
    for (int i = 0; i < 100; i++) {
        runAdb("devices", output, sizeof output, 15000);
        if (std::string(output).find("\tdevice") != std::string::npos)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    const std::string command = "push \"" + discs.string() + "\" /sdcard/roms/";
    bool allArrived = true;
    // As fast as the emulated cabinet goes, and at 40 MB/s, about what a cabinet takes over USB.
    const struct {
        const char *name;
        const char *control;
        int rounds;
    } paces[] = {{"unpaced", "{\"mode\": \"ready\"}", 10},
                 {"at 40 MB/s", "{\"mode\": \"ready\", \"rate\": 40000000}", 4}};
    for (const auto &pace : paces) {
        std::ofstream(state / "control.json") << pace.control;
        std::this_thread::sleep_for(std::chrono::milliseconds(500)); // the fixture reads it anew
        // In turns, ABBA, so that a drift of the machine's speed weighs on both alike.
        std::vector<double> times[2];
        for (int round = 0; round < 2 * pace.rounds; round++) {
            const bool measured = (round % 4 == 1 || round % 4 == 2);
            fs::remove_all(state / "root" / "sdcard" / "roms");
            TransferProgress progress;
            beginTransfer(&progress, bytes);
            const auto start = std::chrono::steady_clock::now();
            const int32_t result =
                measured
                    ? runAdbMeasured(serial.c_str(), command.c_str(), output, sizeof output,
                                     1200000, &progress, bytes)
                    : runAdbOn(serial.c_str(), command.c_str(), output, sizeof output, 1200000);
            times[measured].push_back(secondsSince(start));
            allArrived = allArrived && result == 0 &&
                         std::string(output).find("30 files pushed") != std::string::npos &&
                         (!measured || progress.runMeasured == bytes);
        }
        double medians[2];
        for (int kind = 0; kind < 2; kind++) {
            std::sort(times[kind].begin(), times[kind].end());
            const size_t n = times[kind].size();
            medians[kind] = (times[kind][(n - 1) / 2] + times[kind][n / 2]) / 2;
        }
        printf("300 MB disc copy through the real adb, %s (%d runs each, in turns)%s\n", pace.name,
               pace.rounds, allArrived ? "" : " - A COPY FAILED");
        printf("  without progress: best %.3f s, median %.3f s\n", times[0][0], medians[0]);
        printf("  with progress:    best %.3f s, median %.3f s\n", times[1][0], medians[1]);
        printf("  with / without:   best %.3f, median %.3f\n", times[1][0] / times[0][0],
               medians[1] / medians[0]);
    }

    runAdb("kill-server", output, sizeof output, 30000);
    kill(cabinet, SIGTERM);
    waitpid(cabinet, nullptr, 0);
    removeWorkDir();
    fs::remove_all(base);
    return allArrived ? 0 : 1;
}
