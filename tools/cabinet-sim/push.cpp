// `adb push SRC... DST`: copies for real into the device's storage, file by file as adb's sync
// exchange sends them, at the link's pace; the storage may fill or the link drop part-way.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "answers.h"
#include "files.h"
#include "pace.h"
#include "trace.h"

namespace {

// adb sends a file below SYNC_DATA_MAX in one write, a larger one as DATA pieces of at most
// SYNC_DATA_MAX bytes with their 8-byte heads.
const std::uintmax_t kSyncDataMax = 64 * 1024;
const std::uintmax_t kPieceSize = kSyncDataMax - 8;
const std::uintmax_t kNoLimit = ~std::uintmax_t(0);

const char *const kReadOnly = "couldn't create file: Read-only file system";
const char *const kNoSpace = "write failed: No space left on device";

// One push command against one device: the budgets of file bytes count over all its files; the
// progress, as adb keeps it, over one source.
struct Push {
    Device device;
    std::uintmax_t room = kNoLimit;      // bytes the storage still takes
    std::uintmax_t dropAfter = kNoLimit; // bytes until the link drops
    std::uintmax_t sent = 0;             // file bytes sent while the link held
    std::uintmax_t stored = 0;           // file bytes that arrived
    std::uintmax_t expected = 0;         // the source's bytes
    std::uintmax_t transferred = 0;      // of them, written to the server so far
    bool manyFiles = false;
    std::string progress; // adb's last progress line, printed when the push fails
    bool dropped = false;
    bool full = false;
};

enum class Sent { Arrived, Refused, Full, Dropped };

std::string summary(const std::string &label, std::uintmax_t files, std::uintmax_t bytes) {
    return label + ": " + std::to_string(files) + (files == 1 ? " file" : " files") +
           " pushed, 0 skipped. 1.4 MB/s (" + std::to_string(bytes) + " bytes in 0.132s)\n";
}

std::string copyFailed(const std::string &from, const std::string &to, const std::string &why) {
    return "adb: error: failed to copy '" + from + "' to '" + to + "': " + why + "\n";
}

std::string remoteJoin(const std::string &dir, const std::string &name) {
    return !dir.empty() && dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string localBaseName(const std::string &arg, const fs::path &local) {
    std::string s = arg;
    while (!s.empty() && isSeparator(s.back()))
        s.pop_back();
    size_t i = s.size();
    while (i > 0 && !isSeparator(s[i - 1]))
        --i;
    std::string name = s.substr(i);
    if (name.empty() || name == "." || name == "..") {
        std::error_code ec;
        name = fromPath(fs::weakly_canonical(local, ec).filename());
    }
    return name;
}

unsigned long long unixSeconds(const fs::path &p) {
    using namespace std::chrono;
    std::error_code ec;
    const fs::file_time_type stamp = fs::last_write_time(p, ec);
    if (ec)
        return 0;
    const auto since = stamp - fs::file_time_type::clock::now();
    const auto at = system_clock::now() + duration_cast<system_clock::duration>(since);
    // The two clocks are read a moment apart: to the nearest second.
    const long long ms = duration_cast<milliseconds>(at.time_since_epoch()).count();
    return static_cast<unsigned long long>((ms + 500) / 1000);
}

unsigned fileMode(const fs::file_status &status) {
    const unsigned kind = fs::is_directory(status) ? 0040000u : 0100000u;
    return kind | (static_cast<unsigned>(status.permissions()) & 0777u);
}

// adb's ReportProgress: the source's share sent so far, then the file's.
void noteProgress(Push &p, const std::string &remote, std::uintmax_t copied, std::uintmax_t total) {
    char overall[8] = "?";
    if (p.expected != 0 && p.transferred <= p.expected)
        std::snprintf(overall, sizeof overall, "%d%%",
                      static_cast<int>(p.transferred * 100 / p.expected));
    char head[16];
    std::snprintf(head, sizeof head, "[%4s] ", overall);
    p.progress = head + remote;
    if (copied > total || total == 0)
        p.progress += ": " + std::to_string(copied) + "/?";
    else if (p.manyFiles)
        p.progress += ": " + std::to_string(copied * 100 / total) + "%";
}

// The answer to adb's STAT of the destination, as its trace shows it.
void traceStat(const Push &p, const std::string &remote) {
    if (!tracing())
        return;
    const std::string request = "STAT" + u32(remote.size()) + remote;
    traceWrite(kFirstFd, request, request.size());
    fs::path local;
    std::error_code ec;
    unsigned mode = 0;
    std::uintmax_t size = 0;
    unsigned long long mtime = 0;
    if (sdcardPath(p.device, remote, local) && fs::exists(local, ec)) {
        const bool folder = fs::is_directory(local, ec);
        mode = folder ? 040755u : 0100644u;
        size = folder ? 4096 : fs::file_size(local, ec);
        mtime = unixSeconds(local);
    }
    traceRead(kFirstFd, "STAT" + u32(mode) + u32(size) + u32(mtime));
}

// Writes what reaches the storage of a piece that starts `at` bytes into the file: nothing past a
// dropped link or a full storage.
void store(Push &p, const fs::path *out, const std::string &piece, std::uintmax_t at,
           std::uintmax_t dropAt) {
    if (out == nullptr)
        return;
    std::uintmax_t take = piece.size();
    if (dropAt != kNoLimit)
        take = at >= dropAt ? 0 : std::min(take, dropAt - at);
    if (p.room != kNoLimit)
        take = at >= p.room - p.stored ? 0 : std::min(take, p.room - p.stored - at);
    if (take > 0 && !appendFile(*out, piece.substr(0, take)))
        p.full = true;
}

// One file as adb 29's sync_send sends it: SEND, all of the data, DONE, and only then the
// device's answer; a FAIL or a lost link shows only there.
Sent sendFile(Push &p, const fs::path &local, const std::string &remote, const fs::path &target,
              bool mapped) {
    std::error_code ec;
    const fs::file_status status = fs::status(local, ec);
    const std::uintmax_t size = fs::file_size(local, ec);
    const std::string pathAndMode = remote + "," + std::to_string(fileMode(status));
    const std::string send = "SEND" + u32(pathAndMode.size()) + pathAndMode;
    const std::string done = "DONE" + u32(unixSeconds(local));
    const std::uintmax_t dropAt = p.dropAfter == kNoLimit ? kNoLimit : p.dropAfter - p.sent;
    const bool drops = dropAt != kNoLimit && size > dropAt;
    const bool fills = !drops && p.room != kNoLimit && size > p.room - p.stored;

    FILE *in = openFile(local, "rb");
    // The device's copy grows as the bytes arrive; it is open only while a piece is written, so
    // that a test can take the state folder away in the middle of a slow copy.
    const fs::path *out = nullptr;
    if (mapped && !fs::is_directory(target, ec)) {
        fs::create_directories(target.parent_path(), ec);
        if (writeFile(target, std::string()))
            out = &target;
    }
    p.full = false;
    const bool small = size < kSyncDataMax;
    if (!small)
        traceWrite(kFirstFd, send, send.size());
    std::string piece;
    std::uintmax_t at = 0;
    bool gone = false; // the state folder went away while the bytes moved
    do {
        piece.resize(small ? size : kPieceSize);
        const size_t n = in == nullptr ? 0 : fread(&piece[0], 1, piece.size(), in);
        if (n == 0 && !small)
            break;
        piece.resize(n);
        if (small)
            traceWrite(kFirstFd, send + "DATA" + u32(n) + piece, send.size() + 16 + n);
        else
            traceWrite(kFirstFd, "DATA" + u32(n) + piece, n + 8);
        store(p, out, piece, at, dropAt);
        p.transferred += n;
        noteProgress(p, remote, at + n, size);
        // Past a dropped link the bytes go nowhere at once.
        const std::uintmax_t paced =
            drops ? (at >= dropAt ? 0 : std::min<std::uintmax_t>(n, dropAt - at)) : n;
        at += n;
        if (!paceBytes(paced)) {
            gone = true;
            break;
        }
    } while (!small && at < size);
    if (small && size == 0)
        noteProgress(p, remote, 0, 0);
    if (in != nullptr)
        fclose(in);
    p.sent += drops ? dropAt : size;
    if (gone)
        return Sent::Dropped;
    if (!small)
        traceWrite(kFirstFd, done, done.size());
    if (drops || fills || p.full || out == nullptr)
        fs::remove(target, ec);
    if (drops) {
        traceReadFailed(kFirstFd, 8);
        return Sent::Dropped;
    }
    const char *refusal = out == nullptr ? kReadOnly : fills || p.full ? kNoSpace : nullptr;
    if (refusal == nullptr) {
        traceRead(kFirstFd, "OKAY" + u32(0));
        p.stored += size;
        return Sent::Arrived;
    }
    traceRead(kFirstFd, "FAIL" + u32(std::string(refusal).size()));
    traceRead(kFirstFd, refusal);
    return refusal == kNoSpace ? Sent::Full : Sent::Refused;
}

// adb's local_build_list: a folder's files first, in the order the folder lists them, then its
// subfolders'.
void listFolder(const fs::path &root, const fs::path &rel, std::vector<fs::path> &files,
                std::vector<fs::path> &folders) {
    std::vector<fs::path> below;
    std::error_code ec;
    const auto opts = fs::directory_options::skip_permission_denied;
    for (fs::directory_iterator it(root / rel, opts, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (it->is_directory(typeEc))
            below.push_back(rel / it->path().filename());
        else if (it->is_regular_file(typeEc))
            files.push_back(rel / it->path().filename());
    }
    for (const fs::path &folder : below) {
        folders.push_back(folder);
        listFolder(root, folder, files, folders);
    }
}

// adb's messages arrive after its trace's last line: the error, then (at exit) the last
// progress line, which a summary would have replaced.
bool report(Push &p, Sent sent, const std::string &from, const std::string &to) {
    if (sent == Sent::Arrived)
        return true;
    const std::string why = sent == Sent::Dropped ? std::string("couldn't read from device")
                                                  : std::string("remote ") +
                                                        (sent == Sent::Full ? kNoSpace : kReadOnly);
    writeOut(copyFailed(from, to, why));
    p.dropped = sent == Sent::Dropped;
    p.full = sent == Sent::Full;
    return false;
}

bool pushFolder(Push &p, const std::string &srcArg, fs::path src, const fs::path &target,
                const std::string &remote) {
    if (!src.has_filename())
        src = src.parent_path();
    std::string label = srcArg;
    if (label.empty() || !isSeparator(label.back()))
        label += "/";
    std::error_code ec;
    fs::create_directories(target, ec);
    if (!fs::is_directory(target, ec)) {
        writeOut(copyFailed(srcArg, remote, std::string("remote ") + kReadOnly));
        return false;
    }
    std::vector<fs::path> files;
    std::vector<fs::path> folders;
    listFolder(src, fs::path(), files, folders);
    for (const fs::path &folder : folders)
        fs::create_directories(target / folder, ec);
    p.expected = 0;
    for (const fs::path &rel : files)
        p.expected += fs::file_size(src / rel, ec);
    p.transferred = 0;
    p.manyFiles = true;
    for (const fs::path &rel : files) {
        const std::string relText = fromPathSlashes(rel);
        const std::string to = remoteJoin(remote, relText);
        if (!report(p, sendFile(p, src / rel, to, target / rel, true), label + relText, to))
            return false;
    }
    writeOut(summary(label, files.size(), p.expected));
    p.progress.clear();
    return true;
}

bool pushOne(Push &p, const std::string &srcArg, const std::string &dst) {
    const fs::path src = toPath(srcArg);
    std::error_code ec;
    const fs::file_status status = fs::status(src, ec);
    if (!fs::exists(status)) {
        writeOut("adb: error: cannot stat '" + srcArg + "': No such file or directory\n");
        return false;
    }
    const std::string name = localBaseName(srcArg, src);
    fs::path dstLocal;
    const bool mapped = sdcardPath(p.device, dst, dstLocal);
    // Into DST when it is a folder (or named as one), else as DST itself.
    const bool into =
        (!dst.empty() && dst.back() == '/') || (mapped && fs::is_directory(dstLocal, ec));
    const std::string remote = into ? remoteJoin(dst, name) : dst;
    const fs::path target = into ? dstLocal / toPath(name) : dstLocal;
    if (fs::is_directory(status)) {
        if (!mapped) {
            writeOut(copyFailed(srcArg, remote, std::string("remote ") + kReadOnly));
            return false;
        }
        return pushFolder(p, srcArg, src, target, remote);
    }
    p.expected = fs::file_size(src, ec);
    p.transferred = 0;
    p.manyFiles = false;
    if (!report(p, sendFile(p, src, remote, target, mapped), srcArg, remote))
        return false;
    writeOut(summary(srcArg, 1, p.expected));
    p.progress.clear();
    return true;
}

// STATE/storage-room and STATE/drop-after (in the device's folder) count down over pushes.
std::uintmax_t budget(const fs::path &file) {
    const long long left = readNumberFile(file, -1);
    return left < 0 ? kNoLimit : static_cast<std::uintmax_t>(left);
}

void keepBudgets(const Push &p) {
    const fs::path room = p.device.home / "storage-room";
    const fs::path drop = p.device.home / "drop-after";
    std::error_code ec;
    if (fs::exists(room, ec))
        writeFile(room, std::to_string(budget(room) - std::min(budget(room), p.stored)) + "\n");
    if (p.dropped)
        fs::remove(drop, ec);
    else if (fs::exists(drop, ec))
        writeFile(drop, std::to_string(budget(drop) - std::min(budget(drop), p.sent)) + "\n");
}

} // namespace

int cmdPush(const State &st, const Args &args) {
    Args operands;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--sync" || a == "-p" || a == "-a")
            continue;
        operands.push_back(a);
    }
    if (operands.size() < 2) {
        writeOut("adb: push requires an argument\n");
        return 1;
    }
    const Target target = pickTarget(st);
    startTrace();
    traceBanner();
    traceFeatures(st, target);
    // push asks for the device's features first, and says so when that fails.
    if (refusedAtFeatureQuery(target)) {
        writeOut(featureSetFailure(target));
        return 1;
    }
    if (target.refusal != Refusal::None) {
        writeOut(refusalLine(target));
        return 1;
    }
    Push p;
    p.device = target.device;
    if (!lockState(st.dir))
        return 1;
    p.room = budget(p.device.home / "storage-room");
    p.dropAfter = budget(p.device.home / "drop-after");
    if (st.dropAfter >= 0)
        p.dropAfter = std::min(p.dropAfter, static_cast<std::uintmax_t>(st.dropAfter));
    unlockState(st.dir);

    traceService(st, target, "sync:", kFirstFd);
    traceStat(p, operands.back());
    startPace(st);
    int rc = 0;
    for (size_t i = 0; i + 1 < operands.size(); ++i) {
        if (pushOne(p, operands[i], operands.back()))
            continue;
        rc = 1;
        // A full storage or a lost link ends the whole command; a refused file only its source.
        if (p.dropped || p.full)
            break;
    }
    if (!lockState(st.dir))
        return 1;
    keepBudgets(p);
    if (p.dropped)
        dropDevice(st, p.device);
    unlockState(st.dir);
    const std::string quit = "QUIT" + u32(0);
    traceWrite(kFirstFd, quit, quit.size());
    if (!p.progress.empty())
        writeOut(p.progress + "\n");
    return rc;
}
