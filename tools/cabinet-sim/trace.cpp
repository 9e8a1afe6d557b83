#include "trace.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "files.h"

namespace {

struct TraceSettings {
    bool rwx = false;
    bool adb = false;
};
TraceSettings settings;

// What the server answers for host:features from this device.
const char *const kFeatures = "fixed_push_mkdir,shell_v2,cmd";

std::string timestamp() {
    const std::time_t now = std::time(nullptr);
    char text[32] = "";
    const std::tm *local = std::localtime(&now);
    if (local != nullptr)
        std::strftime(text, sizeof text, "%m-%d %H:%M:%S", local);
    return text;
}

// android-base's logger: "TAG SEVERITY DATE TIME PID TID FILE:LINE] MESSAGE".
void line(const char *file, int at, const std::string &message, char severity = 'D') {
    char head[128];
    std::snprintf(head, sizeof head, "adb %c %s %5lu %5lu %s:%d] ", severity, timestamp().c_str(),
                  processId(), threadId(), file, at);
    writeErr(head + message + "\n");
}

// adb's dump_hex: the first 16 bytes in hex, then as characters.
std::string dumpHex(const std::string &bytes, size_t length) {
    const size_t shown = std::min<size_t>({length, 16, bytes.size()});
    std::string text;
    char hex[4];
    for (size_t i = 0; i < shown; ++i) {
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(bytes[i]));
        text += hex;
    }
    text += ' ';
    for (size_t i = 0; i < shown; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        text += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '.';
    }
    if (length > 16)
        text += " [truncated]";
    return text;
}

// The smart-socket framing: four hex digits of length, then the text.
std::string request(const std::string &text) {
    char length[8];
    std::snprintf(length, sizeof length, "%04x", static_cast<unsigned>(text.size()));
    return length + text;
}

void readOkay(int fd) { traceRead(fd, "OKAY"); }

void readFail(int fd, const std::string &message) {
    traceRead(fd, "FAIL");
    traceRead(fd, request(message).substr(0, 4));
    traceRead(fd, message);
}

// Every client command starts with a version check on its first connection.
void connect(int fd, const std::string &service) {
    line("adb_client.cpp", 329, "adb_connect: service: " + service);
    line("adb_client.cpp", 154, "_adb_connect: host:version");
    const std::string version = request("host:version");
    traceWrite(fd, version, version.size());
    readOkay(fd);
    traceAdb("adb_client.cpp", 188, "_adb_connect: return fd " + std::to_string(fd));
    traceRead(fd, "0004");
    traceRead(fd, "0029");
}

void connected(int fd) {
    traceAdb("adb_client.cpp", 188, "_adb_connect: return fd " + std::to_string(fd));
    traceAdb("adb_client.cpp", 347, "adb_connect: return fd " + std::to_string(fd));
}

} // namespace

bool startTrace() {
    std::string value;
    if (!readEnv("ADB_TRACE", value) || value.empty())
        return false;
    // adb 29 splits the list at blanks only: "adb,rwx" is one flag it does not know.
    for (const std::string &word : split(value, ' ')) {
        if (word == "1" || word == "all")
            settings.rwx = settings.adb = true;
        else if (word == "rwx")
            settings.rwx = true;
        else if (word == "adb")
            settings.adb = true;
        else
            line("adb_trace.cpp", 142, "Unknown trace flag: " + word, 'E');
    }
    return settings.rwx;
}

bool tracing() { return settings.rwx; }

void traceAdb(const char *file, int at, const std::string &message) {
    if (settings.adb)
        line(file, at, message);
}

void traceBanner() {
    if (!settings.adb)
        return;
    traceAdb("adb_trace.cpp", 192, "Android Debug Bridge version 1.0.41");
    traceAdb("adb_trace.cpp", 192, "Version 29.0.6-debian");
    traceAdb("adb_trace.cpp", 192, "Installed as " + selfPath());
    traceAdb("adb_trace.cpp", 192, "");
}

void traceWrite(int fd, const std::string &head, size_t length) {
    if (settings.rwx)
        line("adb_io.cpp", 107,
             "writex: fd=" + std::to_string(fd) + " len=" + std::to_string(length) + " " +
                 dumpHex(head, length));
}

void traceRead(int fd, const std::string &bytes) {
    if (!settings.rwx)
        return;
    const std::string wanted =
        "readx: fd=" + std::to_string(fd) + " wanted=" + std::to_string(bytes.size());
    line("adb_io.cpp", 81, wanted);
    line("adb_io.cpp", 97,
         wanted + " got=" + std::to_string(bytes.size()) + " " + dumpHex(bytes, bytes.size()));
}

void traceReadFailed(int fd, size_t wanted) {
    if (!settings.rwx)
        return;
    line("adb_io.cpp", 81, "readx: fd=" + std::to_string(fd) + " wanted=" + std::to_string(wanted));
    line("adb_io.cpp", 91, "readx: fd=" + std::to_string(fd) + " disconnected");
}

void traceFeatures(const State &st, const Target &target) {
    if (!settings.rwx)
        return;
    const std::string service =
        st.serial.empty() ? "host:features" : "host-serial:" + st.serial + ":features";
    traceAdb("adb_client.cpp", 370, "adb_query: " + service);
    connect(kFirstFd, service);
    line("adb_client.cpp", 154, "_adb_connect: " + service);
    const std::string sent = request(service);
    traceWrite(kFirstFd, sent, sent.size());
    if (target.refusal != Refusal::None) {
        readFail(kFirstFd, target.problem);
        return;
    }
    readOkay(kFirstFd);
    connected(kFirstFd);
    traceRead(kFirstFd, request(kFeatures).substr(0, 4));
    traceRead(kFirstFd, kFeatures);
}

void traceService(const State &st, const Target &target, const std::string &service, int fd) {
    if (!settings.rwx)
        return;
    line("adb_client.cpp", 329, "adb_connect: service: " + service);
    line("adb_client.cpp", 154, "_adb_connect: " + service);
    const std::string transport =
        st.serial.empty() ? "host:tport:any" : "host:tport:serial:" + st.serial;
    const std::string sent = request(transport);
    traceWrite(fd, sent, sent.size());
    line("adb_client.cpp", 113, "Switch transport in progress: " + transport);
    readOkay(fd);
    traceRead(fd, u64(target.device.id));
    traceAdb("adb_client.cpp", 127, "Switch transport success");
    const std::string open = request(service);
    traceWrite(fd, open, open.size());
    readOkay(fd);
    connected(fd);
}

std::string u32(unsigned long long value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xff);
    return bytes;
}

std::string u64(unsigned long long value) { return u32(value) + u32(value >> 32); }
