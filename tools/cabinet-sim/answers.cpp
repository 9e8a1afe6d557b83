#include "answers.h"

#include "files.h"

namespace {

std::string deviceState(const std::string &link) {
    if (link == "ready")
        return "device";
    if (link == "nopermissions")
        return "no permissions (user in plugdev group; are your udev rules wrong?); see "
               "[http://developer.android.com/tools/device.html]";
    return link;
}

} // namespace

bool lastOperand(const Args &args, std::string &operand) {
    for (size_t i = args.size(); i > 1; --i) {
        if (args[i - 1].empty() || args[i - 1][0] != '-') {
            operand = args[i - 1];
            return true;
        }
    }
    return false;
}

std::string refusalLine(const Target &target) { return "error: " + target.problem + "\n"; }

bool refusedAtFeatureQuery(const Target &target) {
    return target.refusal == Refusal::NotFound || target.refusal == Refusal::MoreThanOne ||
           target.refusal == Refusal::Unauthorized || target.refusal == Refusal::Offline;
}

std::string featureSetFailure(const Target &target) {
    return "adb: error: failed to get feature set: " + target.problem + "\n";
}

int cmdDevices(const State &st) {
    if (!lockState(st.dir))
        return 1;
    std::string link;
    if (takeQueuedLink(st, link))
        setLink(st, link);
    const std::vector<Device> devices = listDevices(st);
    std::string fixed;
    bool haveFixed = readFile(st.dir / "devices-output", fixed);
    unlockState(st.dir);
    if (haveFixed) {
        writeOutRaw(fixed);
        return 0;
    }
    std::string text = "List of devices attached\n";
    for (const Device &d : devices)
        text += d.serial + "\t" + deviceState(d.link) + "\n";
    writeOut(text + "\n");
    return 0;
}

int cmdUninstall(const State &st, const Args &args) {
    std::string package;
    if (!lastOperand(args, package)) {
        writeOut("adb: usage: uninstall requires an argument\n");
        return 1;
    }
    const Target target = pickTarget(st);
    if (target.refusal == Refusal::MoreThanOne) {
        // The wait for a device fails at once, for the same reason.
        writeOut(refusalLine(target) + "- waiting for device -\n" + refusalLine(target));
        return 1;
    }
    if (refusedAtFeatureQuery(target)) {
        // adb names the problem, then keeps waiting for a device that it will never see.
        writeOut(refusalLine(target) + "- waiting for device -\n");
        fflush(stdout);
        waitFor(st.dir, defaultHangMs(st));
        return 1;
    }
    if (target.refusal != Refusal::None) {
        writeOut(refusalLine(target));
        return 1;
    }
    if (!lockState(st.dir))
        return 1;
    if (st.dropAfter >= 0) {
        // The cable comes out before the package manager has answered: adb says nothing and
        // ends with 0, so only the missing "Success" tells.
        dropDevice(st, target.device);
        unlockState(st.dir);
        return 0;
    }
    ensurePackages(target.device);
    const std::string where = packageLocation(target.device, package);
    // Taking off an update leaves the system's copy; a package of the user's own goes away.
    if (where == "data")
        setPackageLocation(target.device, package, "system");
    else if (where == "user")
        removePackage(target.device, package);
    unlockState(st.dir);
    const bool removed = where == "data" || where == "user";
    writeOut(removed ? "Success\n" : "Failure [DELETE_FAILED_INTERNAL_ERROR]\n");
    return removed ? 0 : 1;
}

int cmdReadStdin() {
    makeStdinBinary();
    char buf[65536];
    std::uintmax_t total = 0;
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), stdin)) > 0)
        total += n;
    writeOut("stdin: " + std::to_string(total) + " bytes\n");
    return 0;
}

int cmdUnknown(const Args &args) {
    writeOut("adb: unknown command " + (args.empty() ? std::string() : args[0]) + "\n");
    return 1;
}
