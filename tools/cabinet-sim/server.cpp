#include "server.h"

#include <chrono>
#include <random>
#include <thread>

#include "files.h"

namespace {

struct ServerFile {
    bool present = false;
    bool valid = false;
    long long expiry = 0;
    std::string token;
};

// STATE/server: "EXPIRY_MS TOKEN"; a test may write the expiry alone.
ServerFile readServerFile(const fs::path &dir) {
    ServerFile sf;
    std::string text;
    if (!readFile(dir / "server", text))
        return sf;
    sf.present = true;
    std::string t = trim(text);
    size_t space = t.find_first_of(" \t\r\n");
    sf.valid = parseNumber(t.substr(0, space), sf.expiry);
    if (space != std::string::npos)
        sf.token = trim(t.substr(space));
    return sf;
}

void writeServerFile(const fs::path &dir, long long expiry, const std::string &token) {
    writeFile(dir / "server", std::to_string(expiry) + " " + token + "\n");
}

std::string newToken() {
    std::random_device rd;
    return std::to_string(nowMs()) + "-" + std::to_string(rd());
}

} // namespace

void ensureServer(const State &st) {
    const long long now = nowMs();
    const long long expiry =
        now + readNumberFile(st.dir / "server-lifetime-ms", st.demo ? 120000 : 10000);
    ServerFile sf = readServerFile(st.dir);
    if (sf.valid && sf.expiry > now) {
        writeServerFile(st.dir, expiry, sf.token);
        return;
    }
    writeErr("* daemon not running; starting now at tcp:5037\n* daemon started successfully\n");
    if (st.demo)
        resetDemo(st);
    std::string token = newToken();
    writeServerFile(st.dir, expiry, token);
    spawnServer(st.dir, token);
}

void killServer(const State &st) {
    std::error_code ec;
    fs::remove(st.dir / "server", ec);
}

int runServer(const std::string &stateArg, std::string token) {
    const fs::path dir = toPath(stateArg);
    recordProcess(dir, "server");
    // Started by hand without a token: serve whichever server file is there now.
    if (token.empty())
        token = readServerFile(dir).token;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (folderGone(dir) || folderGone(dir / "server"))
            return 0;
        ServerFile sf = readServerFile(dir);
        if (sf.valid && sf.token == token && sf.expiry > nowMs())
            continue;
        // The file may be half rewritten: look again under the lock before giving up.
        if (!lockState(dir))
            return 0;
        sf = readServerFile(dir);
        bool mine = sf.present && sf.token == token;
        bool expired = !sf.valid || sf.expiry <= nowMs();
        if (mine && expired) {
            std::error_code ec;
            fs::remove(dir / "server", ec);
        }
        unlockState(dir);
        if (!mine || expired)
            return 0;
    }
}

int runHold(const std::string &msArg, const std::string &stateArg) {
    long long ms = 0;
    parseNumber(msArg, ms);
    recordProcess(toPath(stateArg), "hold");
    waitFor(toPath(stateArg), ms);
    return 0;
}
