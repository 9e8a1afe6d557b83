// adb's trace: with ADB_TRACE naming rwx (or all, or 1), the lines adb 29 writes to standard error
// for what goes over its sockets to the server, each one flushed as it happens.
#pragma once

#include <cstddef>
#include <string>

#include "devices.h"

// Reads ADB_TRACE; false when rwx is off.
bool startTrace();
bool tracing();

// The client's sockets as adb numbers them: the features query and the sync connection, or the
// package file and the install's connection.
const int kFirstFd = 6;
const int kSecondFd = 7;

// "adb version" lines that the adb tag (on with all) adds at the start.
void traceBanner();
// The features query; with the refusal's words as the server's FAIL when there is no device.
void traceFeatures(const State &st, const Target &target);
// Opens `service` (sync:, exec:...) on the target's transport.
void traceService(const State &st, const Target &target, const std::string &service, int fd);

void traceWrite(int fd, const std::string &head, size_t length); // head: at least 16 bytes if any
void traceRead(int fd, const std::string &bytes);
// A read that finds the connection closed (the link dropped).
void traceReadFailed(int fd, size_t wanted);
// A line of the adb tag (on with all only).
void traceAdb(const char *file, int line, const std::string &message);

// Little-endian numbers, as the sync protocol sends them.
std::string u32(unsigned long long value);
std::string u64(unsigned long long value);
