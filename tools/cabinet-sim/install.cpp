// `adb install [-r] FILE.apk`: a streamed install, the package's bytes read at the link's pace.
#include "answers.h"
#include "files.h"
#include "pace.h"
#include "trace.h"

namespace {

const size_t kReadSize = 64 * 1024;

std::string baseName(const std::string &path) {
    size_t i = path.size();
    while (i > 0 && !isSeparator(path[i - 1]))
        --i;
    return path.substr(i);
}

// adb's escape_arg: single quotes, with each quote inside closed, escaped and reopened.
std::string escapeArg(const std::string &arg) {
    std::string r = "'";
    for (char c : arg)
        r += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return r + "'";
}

std::string installService(const Args &args, std::uintmax_t size) {
    std::string service = "exec:cmd package";
    for (size_t i = 0; i + 1 < args.size(); ++i)
        service += " " + escapeArg(args[i]);
    return service + " -S " + std::to_string(size);
}

enum class Copied { Whole, Failed, Dropped };

// Reads the package in 64 KiB pieces, each once its time has come, as adb's copy to the socket
// does; the link may drop after `dropAfter` bytes.
Copied streamPackage(const fs::path &from, const fs::path &to, long long dropAfter,
                     std::uintmax_t &bytes) {
    bytes = 0;
    std::error_code ec;
    fs::create_directories(to.parent_path(), ec);
    FILE *in = openFile(from, "rb");
    if (in == nullptr)
        return Copied::Failed;
    setvbuf(in, nullptr, _IONBF, 0);
    // Written a piece at a time, so that a test can take the state folder away in the middle of
    // a slow copy.
    if (!writeFile(to, std::string())) {
        fclose(in);
        return Copied::Failed;
    }
    std::vector<char> buf(kReadSize);
    Copied result = Copied::Whole;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), in)) > 0) {
        if (dropAfter >= 0 && bytes + n > static_cast<std::uintmax_t>(dropAfter)) {
            result = Copied::Dropped;
            break;
        }
        if (!appendFile(to, std::string(buf.data(), n)) || !paceBytes(n)) {
            result = Copied::Failed;
            break;
        }
        bytes += n;
    }
    if (ferror(in) != 0)
        result = Copied::Failed;
    fclose(in);
    if (result != Copied::Whole)
        fs::remove(to, ec);
    return result;
}

} // namespace

int cmdInstall(const State &st, const Args &args) {
    std::string file;
    if (!lastOperand(args, file)) {
        writeOut("adb: need APK file on command line\n");
        return 1;
    }
    const Target target = pickTarget(st);
    startTrace();
    traceBanner();
    traceFeatures(st, target);
    // Without a usable device adb 29 falls back to a push install, whose feature query fails
    // with the same words.
    if (refusedAtFeatureQuery(target)) {
        writeOut(refusalLine(target) + "Performing Push Install\n" + featureSetFailure(target));
        return 255;
    }
    if (target.refusal != Refusal::None) {
        writeOut(refusalLine(target));
        return 1;
    }
    const fs::path local = toPath(file);
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(local, ec);
    if (ec) {
        writeOut("adb: failed to stat " + file + ": No such file or directory\n");
        return 1;
    }
    const std::string name = baseName(file);
    std::string package;
    if (name == "Emulator.apk")
        package = "com.zezuz.oneupvantormd17";
    else if (name == "Launcher.apk")
        package = "com.arcade";
    traceService(st, target, installService(args, size), kSecondFd);
    if (package.empty()) {
        writeOut("adb: failed to install " + file +
                 ": Failure [INSTALL_PARSE_FAILED_NOT_APK: Failed to parse "
                 "/data/app/vmdl1234.tmp/base.apk]\nPerforming Streamed Install\n");
        return 1;
    }
    const Device &device = target.device;
    traceAdb("commandline.cpp", 362,
             "copy_to_file(" + std::to_string(kFirstFd) + " -> " + std::to_string(kSecondFd) + ")");
    startPace(st);
    std::uintmax_t bytes = 0;
    const Copied copied =
        streamPackage(local, device.home / "installed" / (package + ".apk"), st.dropAfter, bytes);
    if (copied == Copied::Dropped && lockState(st.dir)) {
        dropDevice(st, device);
        unlockState(st.dir);
    }
    if (copied != Copied::Whole) {
        writeOut("adb: failed to install " + file + ": Performing Streamed Install\n");
        return 1;
    }
    traceAdb("commandline.cpp", 373, "copy_to_file() : read 0 bytes; exiting");
    traceAdb("commandline.cpp", 392,
             "copy_to_file() finished with success after " + std::to_string(bytes) + " bytes");
    if (!lockState(st.dir))
        return 1;
    ensurePackages(device);
    const std::string before = packageLocation(device, package);
    // Over one of the device's own packages it is an update; otherwise a package of the user's.
    setPackageLocation(device, package, before == "system" || before == "data" ? "data" : "user");
    unlockState(st.dir);
    writeOut("Performing Streamed Install\nSuccess\n");
    return 0;
}
