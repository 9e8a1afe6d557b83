// The discs folder beside the test executable, made and checked through the platform's own
// narrow-text file calls, so that names reach the program byte for byte.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tests/support/cabinet_sim_state.h"

struct DiscsFolder {
    using Files = std::vector<std::pair<std::string, std::string>>;
    std::string path;

    DiscsFolder();
    void remove() const;
    void addFolder(const std::string &name, const Files &files) const;
    void addFile(const std::string &name, const std::string &bytes) const;
    // The sub-folders that are sent, in the order the system lists them.
    std::vector<std::string> folderOrder() const;
    // The push each of them gets, as the simulator logs its arguments.
    std::vector<std::vector<std::string>> expectedPushes() const;
    // Every sent folder arrived on the cabinet with the same files and bytes, and nothing else did.
    bool matchesCabinet(const SimCabinet &cabinet) const;
};
