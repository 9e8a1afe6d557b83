// Prints the time of a full install against the cabinet simulator through the program's own code
// (payload extraction, tool runs, waits), next to a plain shell script that sends the same adb
// command lines to the same simulator from a folder that already holds the payload.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/app_state.h"
#include "cabinet/operations.h"
#include "cabinet/payload.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

static double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

static int32_t quietBox(void *, const char *, const char *, uint32_t) { return messageBoxChoseOk; }

static void freshCabinet(const fs::path &state) {
    fs::remove_all(state);
    fs::create_directories(state);
    std::ofstream(state / "link") << "ready\n";
}

int main() {
    const fs::path base = fs::temp_directory_path() / "quillmere-install-bench";
    const fs::path state = base / "cabinet";
    const fs::path temporary = base / "temp";
    const fs::path scriptFolder = base / "script";
    fs::remove_all(base);
    fs::create_directories(temporary);
    fs::create_directories(scriptFolder);
    setenv("CABINET_SIM_STATE", state.c_str(), 1);
    setenv("TMPDIR", temporary.c_str(), 1);
    replaceMessageBox(quietBox);

    const int rounds = 5;
    double programBest = 1e9, scriptBest = 1e9, programSum = 0, scriptSum = 0;
    for (int round = 0; round < rounds; round++) {
        freshCabinet(state);
        appState.operationStage = Idle;
        auto start = std::chrono::steady_clock::now();
        installWorker(nullptr);
        const double program = millisecondsSince(start);
        if (appState.operationStage.load() != Done) {
            printf("the install did not succeed\n");
            return 1;
        }

        // The same command lines, from a folder that already holds the tool and the packages.
        const std::string tool = (scriptFolder / "adb").string();
        extractResource(101, tool.c_str());
        extractResource(104, (scriptFolder / "Emulator.apk").c_str());
        extractResource(105, (scriptFolder / "Launcher.apk").c_str());
        freshCabinet(state);
        std::ofstream script(scriptFolder / "install.sh");
        script << "cd '" << scriptFolder.string() << "'\n";
        for (const char *line : {"start-server", "devices", "shell am force-stop com.arcade",
                                 "shell am force-stop com.zezuz.oneupvantormd17",
                                 "install -r Emulator.apk", "install -r Launcher.apk",
                                 "shell am start -n com.arcade/.activity.VantorHomeActivity"})
            script << "./adb " << line << " >/dev/null 2>&1\n";
        script.close();
        start = std::chrono::steady_clock::now();
        const int status = system(("sh '" + (scriptFolder / "install.sh").string() + "'").c_str());
        const double plain = millisecondsSince(start);
        if (status != 0) {
            printf("the script failed\n");
            return 1;
        }
        programBest = program < programBest ? program : programBest;
        scriptBest = plain < scriptBest ? plain : scriptBest;
        programSum += program;
        scriptSum += plain;
    }
    printf("full simulated install, %d rounds (no discs folder beside the benchmark):\n", rounds);
    printf("  installWorker (extraction included) : best %7.1f ms, mean %7.1f ms\n", programBest,
           programSum / rounds);
    printf("  plain script, same command lines    : best %7.1f ms, mean %7.1f ms\n", scriptBest,
           scriptSum / rounds);
    printf("  the program's overhead (best)       : %7.1f ms\n", programBest - scriptBest);
    fs::remove_all(base);
    return 0;
}
