// Unpacking the carried tool and packages into a work folder of our own, and removing it again.
#pragma once

#include <cstdint>

// Resource numbers of the carried files.
constexpr uint16_t emulatorPackageResource = 104;
constexpr uint16_t launcherPackageResource = 105;

// Writes the resource's bytes to `path`, replacing any file there. True only when every byte was
// written; a missing or empty resource touches no file.
bool extractResource(uint16_t id, const char *path);

// Makes sure the work folder exists and holds the tool's files. True once `adbReady` is set.
bool prepareAdb();

// Makes sure the tool's files and both packages are in the work folder. True once
// `packagesReady` is set.
bool preparePackages();

// Deletes the work folder's plain files and the folder, and forgets its name.
void removeWorkDir();

// Why the latest prepareAdb or preparePackages that failed did so, when the user can act on it:
// the text that tells what to do; `otherwise` for any other cause (a full disk, a folder that
// cannot be made).
const char *unpackFailureText(const char *otherwise);

extern const char cannotRunToolText[];

// The work folder's name: "Quillmere_", the tick count, "_" and the process's id.
constexpr char workFolderPrefix[] = "Quillmere_";
