// `adb shell ...`: the few cabinet commands the installer uses.
#include "answers.h"

#include "files.h"

namespace {

// adb sends the arguments joined by spaces; the cabinet's sh splits them again.
Args shellWords(const std::string &line) {
    Args words;
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            for (++i; i < line.size() && line[i] != '\''; ++i)
                word += line[i];
        } else if (c == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size() &&
                    std::string("\"\\$`").find(line[i + 1]) != std::string::npos)
                    ++i;
                word += line[i];
            }
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
        } else {
            word += c;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

int pmPath(const State &st, const Device &device, const std::string &package) {
    if (!lockState(st.dir))
        return 1;
    ensurePackages(device);
    std::string where = packageLocation(device, package);
    unlockState(st.dir);
    if (where == "system") {
        if (package == "com.arcade")
            writeOut("package:/system/priv-app/ArcadeLauncher/ArcadeLauncher.apk\n");
        else
            writeOut("package:/system/app/" + package + "/" + package + ".apk\n");
        return 0;
    }
    if (where == "data" || where == "user") {
        const std::string dir = "package:/data/app/~~xSy7YPp-Dl1DeQIUB8XJMA==/";
        if (package == "com.arcade")
            writeOut(dir + "com.arcade-qbVqw-KmdgSqSB0HPsNr7g==/base.apk\n");
        else
            writeOut(dir + package + "-1/base.apk\n");
        return 0;
    }
    return 1;
}

int makeFolders(const Device &device, const Args &words) {
    for (size_t i = 1; i < words.size(); ++i) {
        fs::path local;
        if (words[i].empty() || words[i][0] == '-' || !sdcardPath(device, words[i], local))
            continue;
        std::error_code ec;
        fs::create_directories(local, ec);
    }
    return 0;
}

int amStart(const Args &words) {
    for (size_t i = 2; i + 1 < words.size(); ++i) {
        if (words[i] == "-n") {
            writeOut("Starting: Intent { cmp=" + words[i + 1] + " }\n");
            return 0;
        }
    }
    return -1;
}

} // namespace

int cmdShell(const State &st, const Args &args) {
    const Target target = pickTarget(st);
    if (target.refusal != Refusal::None) {
        writeOut(refusalLine(target));
        return 1;
    }
    const Args words = shellWords(join(Args(args.begin() + 1, args.end()), " "));
    if (words.empty())
        return 0;
    const std::string &cmd = words[0];
    if (cmd == "pm" && words.size() >= 3 && words[1] == "path")
        return pmPath(st, target.device, words.back());
    if (cmd == "am" && words.size() >= 3 && words[1] == "force-stop")
        return 0;
    if (cmd == "am" && words.size() >= 4 && words[1] == "start") {
        int rc = amStart(words);
        if (rc >= 0)
            return rc;
    }
    if (cmd == "mkdir")
        return makeFolders(target.device, words);
    writeOut("/system/bin/sh: " + cmd + ": not found\n");
    return 127;
}
