// Cabinet simulator: answers like adb, keeping the simulated cabinet in a state folder.
#include "answers.h"
#include "devices.h"
#include "faults.h"
#include "files.h"
#include "server.h"

namespace {

int answer(const State &st, const Args &args) {
    const std::string cmd = args.empty() ? std::string() : args[0];
    if (!lockState(st.dir))
        return 1;
    if (cmd == "kill-server") {
        killServer(st);
        unlockState(st.dir);
        return 0;
    }
    ensureServer(st);
    ensurePackages(defaultDevice(st));
    unlockState(st.dir);
    if (cmd == "start-server")
        return 0;
    if (cmd == "devices")
        return cmdDevices(st);
    if (cmd == "shell")
        return cmdShell(st, args);
    if (cmd == "install")
        return cmdInstall(st, args);
    if (cmd == "uninstall")
        return cmdUninstall(st, args);
    if (cmd == "push")
        return cmdPush(st, args);
    if (cmd == "read-stdin")
        return cmdReadStdin();
    return cmdUnknown(args);
}

long long numberArg(const Fault &fault, size_t i, long long fallback) {
    long long v;
    if (i < fault.args.size() && parseNumber(fault.args[i], v))
        return v;
    return fallback;
}

int run(State &st, const Args &args) {
    if (!lockState(st.dir))
        return 1;
    appendLog(st, args);
    Fault fault;
    const bool faulted = takeFault(st, join(args, " "), fault);
    unlockState(st.dir);
    if (faulted) {
        if (fault.action == "answer") {
            Args rest(fault.args.begin() + (fault.args.empty() ? 0 : 1), fault.args.end());
            writeOut(decodeEscapes(join(rest, "\t")));
            return static_cast<int>(numberArg(fault, 0, 0));
        }
        if (fault.action == "hang") {
            fflush(stdout);
            waitFor(st.dir, numberArg(fault, 0, defaultHangMs(st)));
            return 1;
        }
        if (fault.action == "delay" && !waitFor(st.dir, numberArg(fault, 0, 0)))
            return 1;
        if (fault.action == "hold")
            spawnHold(numberArg(fault, 0, 0), st.dir);
        if (fault.action == "drop")
            st.dropAfter = numberArg(fault, 0, 0);
    }
    return answer(st, args);
}

} // namespace

int main(int argc, char **argv) {
    const Args all = programArgs(argc, argv);
    if (all.size() >= 3 && all[1] == "--server")
        return runServer(all[2], all.size() >= 4 ? all[3] : std::string());
    if (all.size() >= 4 && all[1] == "--hold")
        return runHold(all[2], all[3]);
    const Args args(all.begin() + (all.empty() ? 0 : 1), all.end());
    State st = openState();
    recordProcess(st.dir, "client");
    const int rc = run(st, args);
    fflush(stderr);
    fflush(stdout);
    return rc;
}
