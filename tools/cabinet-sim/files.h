// Whole-file reads and writes and small text helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "proc.h"

bool readFile(const fs::path &p, std::string &out);
bool writeFile(const fs::path &p, const std::string &data);
bool appendFile(const fs::path &p, const std::string &data);
// Copies the bytes, creating the target's folder; bytes = the size copied.
bool copyFileBytes(const fs::path &from, const fs::path &to, std::uintmax_t &bytes);

std::string trim(const std::string &s);
std::string firstWord(const std::string &s);
std::vector<std::string> split(const std::string &s, char sep);
std::string join(const std::vector<std::string> &parts, const std::string &sep);
bool parseNumber(const std::string &s, long long &value);
// The number in a file, or fallback when it is missing or not a number.
long long readNumberFile(const fs::path &p, long long fallback);
