// `adb push SRC... DST`: copies for real into the cabinet's storage.
#include "answers.h"

#include "files.h"

namespace {

std::string summary(const std::string &label, std::uintmax_t files, std::uintmax_t bytes) {
    return label + ": " + std::to_string(files) + (files == 1 ? " file" : " files") +
           " pushed, 0 skipped. 1.4 MB/s (" + std::to_string(bytes) + " bytes in 0.132s)\n";
}

std::string copyFailed(const std::string &from, const std::string &to) {
    return "adb: error: failed to copy '" + from + "' to '" + to +
           "': remote couldn't create file: Read-only file system\n";
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

int pushFolder(const std::string &srcArg, fs::path src, const fs::path &target,
               const std::string &remote) {
    if (!src.has_filename())
        src = src.parent_path();
    std::string label = srcArg;
    if (label.empty() || !isSeparator(label.back()))
        label += "/";
    std::error_code ec;
    fs::create_directories(target, ec);
    if (!fs::is_directory(target, ec)) {
        writeOut(copyFailed(srcArg, remote));
        return 1;
    }
    std::uintmax_t files = 0;
    std::uintmax_t bytes = 0;
    const auto opts = fs::directory_options::skip_permission_denied;
    for (fs::recursive_directory_iterator it(src, opts, ec), end; !ec && it != end;
         it.increment(ec)) {
        const fs::path rel = it->path().lexically_relative(src);
        std::error_code typeEc;
        if (it->is_directory(typeEc)) {
            fs::create_directories(target / rel, typeEc);
            continue;
        }
        if (!it->is_regular_file(typeEc))
            continue;
        std::uintmax_t n = 0;
        if (!copyFileBytes(it->path(), target / rel, n)) {
            const std::string relText = fromPathSlashes(rel);
            writeOut(copyFailed(label + relText, remoteJoin(remote, relText)));
            return 1;
        }
        ++files;
        bytes += n;
    }
    writeOut(summary(label, files, bytes));
    return 0;
}

int pushOne(const State &st, const std::string &srcArg, const std::string &dst) {
    const fs::path src = toPath(srcArg);
    std::error_code ec;
    const fs::file_status status = fs::status(src, ec);
    if (!fs::exists(status)) {
        writeOut("adb: error: cannot stat '" + srcArg + "': No such file or directory\n");
        return 1;
    }
    const std::string name = localBaseName(srcArg, src);
    fs::path dstLocal;
    const bool mapped = sdcardPath(st, dst, dstLocal);
    // Into DST when it is a folder (or named as one), else as DST itself.
    const bool into =
        (!dst.empty() && dst.back() == '/') || (mapped && fs::is_directory(dstLocal, ec));
    const std::string remote = into ? remoteJoin(dst, name) : dst;
    const fs::path target = into ? dstLocal / toPath(name) : dstLocal;
    if (fs::is_directory(status)) {
        if (!mapped) {
            writeOut(copyFailed(srcArg, remote));
            return 1;
        }
        return pushFolder(srcArg, src, target, remote);
    }
    std::uintmax_t bytes = 0;
    if (!mapped || fs::is_directory(target, ec) || !copyFileBytes(src, target, bytes)) {
        writeOut(copyFailed(srcArg, remote));
        return 1;
    }
    writeOut(summary(srcArg, 1, bytes));
    return 0;
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
    const std::string link = linkNow(st);
    std::string problem = deviceProblem(link);
    // push asks for the device's features first, and says so when that fails.
    if (problem == deviceProblem("none") || link == "unauthorized" || link == "offline") {
        writeOut(featureSetFailure(problem));
        return 1;
    }
    if (!problem.empty()) {
        writeOut(problem);
        return 1;
    }
    int rc = 0;
    for (size_t i = 0; i + 1 < operands.size(); ++i)
        if (pushOne(st, operands[i], operands.back()) != 0)
            rc = 1;
    return rc;
}
