#include "devices.h"

#include <algorithm>

#include "files.h"

namespace {

const char *const kSecondSerial = "R58M12FGHIJ";

std::string withoutLineEnd(std::string line) {
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

std::vector<std::string> words(const std::string &line) {
    std::vector<std::string> found;
    std::string word;
    for (char c : line + " ") {
        if (c == ' ' || c == '\t' || c == '\r') {
            if (!word.empty())
                found.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    return found;
}

// A serial as a folder name: serials such as "192.168.1.5:5555" hold characters Windows refuses.
std::string folderName(const std::string &serial) {
    std::string name = "device-";
    for (char c : serial) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        name += plain ? c : '_';
    }
    return name;
}

Device makeDevice(const State &st, const std::string &serial, const std::string &link,
                  const std::string &kind, unsigned long long id) {
    Device d;
    d.serial = serial;
    d.link = link;
    d.kind = kind;
    d.home = serial == kDefaultSerial ? st.dir : st.dir / folderName(serial);
    d.id = id;
    return d;
}

const char *const kUnauthorized = "device unauthorized.\n"
                                  "This adb server's $ADB_VENDOR_KEYS is not set\n"
                                  "Try 'adb kill-server' if that seems wrong.\n"
                                  "Otherwise check for a confirmation dialog on your device.";

bool usable(const std::string &link) {
    return link == "ready" || link == "unauthorized" || link == "offline" || link == "authorizing";
}

// What adb's server says of a device it found, by its state.
Target reach(const Device &device) {
    Target t;
    t.device = device;
    if (device.link == "unauthorized") {
        t.refusal = Refusal::Unauthorized;
        t.problem = kUnauthorized;
    } else if (device.link == "offline") {
        t.refusal = Refusal::Offline;
        t.problem = "device offline";
    } else if (device.link == "authorizing") {
        t.refusal = Refusal::Authorizing;
        t.problem = "device still authorizing";
    }
    return t;
}

// Every line of STATE/devices, the unplugged ones (state none) too.
std::vector<Device> fileDevices(const State &st, bool &present) {
    std::vector<Device> devices;
    std::string text;
    present = readFile(st.dir / "devices", text);
    unsigned long long id = 0;
    for (const std::string &line : present ? split(text, '\n') : std::vector<std::string>()) {
        const std::vector<std::string> w = words(withoutLineEnd(line));
        if (w.empty() || w[0][0] == '#')
            continue;
        // adb's own word for a ready device serves as well.
        const std::string link = w.size() < 2 || w[1] == "device" ? "ready" : w[1];
        devices.push_back(makeDevice(st, w[0], link, w.size() > 2 ? w[2] : "cabinet", ++id));
    }
    return devices;
}

} // namespace

Device defaultDevice(const State &st) {
    bool present = false;
    for (const Device &d : fileDevices(st, present))
        if (d.serial == kDefaultSerial)
            return d;
    return makeDevice(st, kDefaultSerial, "ready", "cabinet", 1);
}

std::vector<Device> listDevices(const State &st) {
    bool present = false;
    std::vector<Device> devices;
    for (const Device &d : fileDevices(st, present))
        if (d.link != "none")
            devices.push_back(d);
    if (present)
        return devices;
    const std::string link = currentLink(st);
    if (link == "two") {
        devices.push_back(makeDevice(st, kDefaultSerial, "ready", "cabinet", 1));
        devices.push_back(makeDevice(st, kSecondSerial, "ready", "cabinet", 2));
    } else if (link != "none") {
        devices.push_back(makeDevice(st, kDefaultSerial, link, "cabinet", 1));
    }
    return devices;
}

// As adb's server picks a transport: a device without permissions is passed over, saying so;
// with a serial only that device counts, otherwise a second one makes the choice ambiguous.
Target pickTarget(const State &st) {
    Target t;
    t.refusal = Refusal::NotFound;
    t.problem =
        st.serial.empty() ? "no devices/emulators found" : "device '" + st.serial + "' not found";
    if (!lockState(st.dir))
        return t;
    const std::vector<Device> devices = listDevices(st);
    unlockState(st.dir);
    const Device *found = nullptr;
    for (const Device &d : devices) {
        if (d.link == "nopermissions") {
            t.refusal = Refusal::NoPermission;
            t.problem = "insufficient permissions for device";
            continue;
        }
        if (!usable(d.link) || (!st.serial.empty() && d.serial != st.serial))
            continue;
        if (found != nullptr) {
            t.refusal = Refusal::MoreThanOne;
            t.problem =
                st.serial.empty() ? "more than one device/emulator" : "more than one device";
            return t;
        }
        found = &d;
    }
    return found != nullptr ? reach(*found) : t;
}

void dropDevice(const State &st, const Device &device) {
    const fs::path file = st.dir / "devices";
    std::string text;
    if (!readFile(file, text)) {
        setLink(st, "none");
        return;
    }
    std::vector<std::string> lines = split(text, '\n');
    for (std::string &line : lines) {
        std::vector<std::string> w = words(withoutLineEnd(line));
        if (w.empty() || w[0] != device.serial)
            continue;
        w.resize(std::max<size_t>(w.size(), 3));
        w[1] = "none";
        if (w[2].empty())
            w[2] = device.kind;
        line = join(w, " ");
        break;
    }
    writeFile(file, join(lines, "\n"));
}

void ensurePackages(const Device &device) {
    const fs::path dir = device.home / "packages";
    std::error_code ec;
    if (fs::exists(dir, ec))
        return;
    fs::create_directories(dir, ec);
    // A phone has neither of the cabinet's own packages.
    if (device.kind == "phone")
        return;
    writeFile(dir / "com.arcade", "system");
    writeFile(dir / "com.zezuz.oneupvantormd17", "system");
}

std::string packageLocation(const Device &device, const std::string &name) {
    std::string text;
    if (!validPackageName(name) || !readFile(device.home / "packages" / name, text))
        return {};
    return firstWord(text);
}

void setPackageLocation(const Device &device, const std::string &name, const std::string &where) {
    std::error_code ec;
    fs::create_directories(device.home / "packages", ec);
    writeFile(device.home / "packages" / name, where);
}

void removePackage(const Device &device, const std::string &name) {
    std::error_code ec;
    if (validPackageName(name))
        fs::remove(device.home / "packages" / name, ec);
}

bool sdcardPath(const Device &device, const std::string &remote, fs::path &local) {
    const std::string root = "/sdcard";
    if (remote.compare(0, root.size(), root) != 0)
        return false;
    if (remote.size() > root.size() && remote[root.size()] != '/')
        return false;
    std::vector<std::string> parts;
    for (const std::string &part : split(remote.substr(root.size()), '/')) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (parts.empty())
                return false;
            parts.pop_back();
            continue;
        }
        // Nothing in a name may climb out or jump to another drive.
        for (const fs::path &e : toPath(part))
            if (e == ".." || e.has_root_name() || e.has_root_directory())
                return false;
        parts.push_back(part);
    }
    local = device.home / "sdcard";
    for (const std::string &part : parts)
        local /= toPath(part);
    return true;
}
