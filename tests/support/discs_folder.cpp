#include "tests/support/discs_folder.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <map>

#include "platform/platform.h"
#include "tests/support/test_environment.h"

DiscsFolder::DiscsFolder() {
    char executable[1024] = "";
    executablePath(executable, sizeof executable);
    if (char *last = strrchr(executable, platformPathSeparator))
        *last = '\0';
    path = joinPath(executable, "discs");
}

void DiscsFolder::remove() const { removeTree(path); }

void DiscsFolder::addFolder(const std::string &name, const Files &files) const {
    createPrivateFolder(path.c_str());
    const std::string folder = joinPath(path, name);
    createPrivateFolder(folder.c_str());
    for (const auto &file : files) {
        bool opened = false;
        writeWholeFile(joinPath(folder, file.first).c_str(), file.second.data(),
                       static_cast<uint32_t>(file.second.size()), false, &opened);
    }
}

void DiscsFolder::addFile(const std::string &name, const std::string &bytes) const {
    createPrivateFolder(path.c_str());
    bool opened = false;
    writeWholeFile(joinPath(path, name).c_str(), bytes.data(), static_cast<uint32_t>(bytes.size()),
                   false, &opened);
}

struct Entry {
    std::string name;
    bool isFolder;
};

static bool collect(const char *name, bool isFolder, void *context) {
    static_cast<std::vector<Entry> *>(context)->push_back({name, isFolder});
    return true;
}

static std::vector<Entry> entries(const std::string &folder) {
    std::vector<Entry> list;
    listFolder(folder.c_str(), collect, &list);
    return list;
}

std::vector<std::string> DiscsFolder::folderOrder() const {
    std::vector<std::string> names;
    for (const Entry &entry : entries(path))
        if (entry.isFolder && entry.name[0] != '.')
            names.push_back(entry.name);
    return names;
}

std::vector<std::vector<std::string>> DiscsFolder::expectedPushes() const {
    std::vector<std::vector<std::string>> pushes;
    for (const std::string &name : folderOrder())
        pushes.push_back({"push", asLogged(joinPath(path, name)), "/sdcard/roms/"});
    return pushes;
}

// Relative path -> bytes of every file below `folder`.
static void tree(const std::string &folder, const std::string &prefix,
                 std::map<std::string, std::string> *files) {
    for (const Entry &entry : entries(folder)) {
        if (entry.name == "." || entry.name == "..")
            continue;
        const std::string full = joinPath(folder, entry.name);
        if (entry.isFolder)
            tree(full, prefix + entry.name + "/", files);
        else
            (*files)[prefix + entry.name] = readFile(full);
    }
}

bool DiscsFolder::matchesCabinet(const SimCabinet &cabinet) const {
    std::map<std::string, std::string> sent;
    for (const std::string &name : folderOrder())
        tree(joinPath(path, name), name + "/", &sent);
    std::map<std::string, std::string> arrived;
    const std::string roms = joinPath(joinPath(cabinet.folder, "sdcard"), "roms");
    for (const Entry &entry : entries(roms))
        if (entry.isFolder && entry.name != "." && entry.name != ".." && entry.name != "system" &&
            entry.name != "saves")
            tree(joinPath(roms, entry.name), entry.name + "/", &arrived);
    if (sent != arrived) {
        for (const auto &file : sent)
            if (!arrived.count(file.first))
                ADD_FAILURE_AT(__FILE__, __LINE__) << "not on the cabinet: " << file.first;
        for (const auto &file : arrived)
            if (!sent.count(file.first))
                ADD_FAILURE_AT(__FILE__, __LINE__) << "not sent: " << file.first;
    }
    return sent == arrived;
}
