// Everything that differs between Windows and POSIX: arguments, paths, standard streams and
// starting copies of ourselves.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// argv[0..]; on Windows taken from the C runtime's wide split and held as UTF-8.
std::vector<std::string> programArgs(int argc, char **argv);
std::string currentFolder();
std::string selfPath();
unsigned long processId();
unsigned long threadId();
bool readEnv(const char *name, std::string &value);
fs::path systemTempFolder();

// Our strings are raw bytes (POSIX) or UTF-8 (Windows); these convert to and from paths.
fs::path toPath(const std::string &s);
std::string fromPath(const fs::path &p);
std::string fromPathSlashes(const fs::path &p);
bool isSeparator(char c);
FILE *openFile(const fs::path &p, const char *mode);

void writeOut(const std::string &text);
void writeOutRaw(const std::string &bytes);
void writeErr(const std::string &text);
void makeStdinBinary();

// Background server: detached, own session, standard streams on nothing; on Windows out of the
// client's job when the job lets it go, so that ending the job leaves it running, as adb's does.
bool spawnServer(const fs::path &state, const std::string &token);
// Grandchild that keeps our standard output and error open for a while; it stays in the client's
// process group (Linux) or job (Windows), so that ending those ends it too.
bool spawnHold(long long ms, const fs::path &state);
