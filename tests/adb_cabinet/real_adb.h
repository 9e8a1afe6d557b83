// The real adb between the program and the emulated cabinet: the fixture as a child process, a
// private adb server port and key folder for each test, and a check that nothing outlives it.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

#include "tests/support/cabinet_fixture.h"

// The emulated cabinet (tests/adb_cabinet/emulated_cabinet.py), run as a real child process; it
// plays an owner's phone instead when started with `device` "phone".
class EmulatedCabinet {
  public:
    // Starts the fixture with a fresh state folder; false (with `error` said) when it did not
    // come up listening.
    bool start(const std::string &stateFolder, const std::string &hostKey, std::string &error,
               const std::string &device = "cabinet");
    // Ends it and waits for it; safe to call twice.
    void stop();

    int port() const { return listeningPort; }
    std::string serial() const { return "127.0.0.1:" + std::to_string(listeningPort); }
    // Replaces the control file as a whole (a JSON object), e.g. {"mode":"offline"}.
    void control(const std::string &json) const;
    // The control file as it is now: the fixture writes "mode": "gone" into it when it drops the
    // link.
    std::string controlText() const;
    // The bytes of the N-th package install that reached the cabinet (from 1).
    std::string receivedPackage(int number) const;
    // How many package installs reached it.
    int packagesReceived() const;
    // The push and install stream bytes it has taken in so far (sync headers included).
    long long takenIn() const;
    // The cabinet's files below /sdcard, as a folder on this machine.
    std::string sdcard() const;
    // Where each package lives: "system" or "data", as the fixture last wrote it.
    std::string packagePlace(const std::string &package) const;
    // The services the host opened, one a line.
    std::string services() const;

  private:
    std::string folder;
    pid_t pid = -1;
    int listeningPort = 0;
};

// Runs Debian's adb (not the program's copy) with `arguments` and returns what it printed on
// standard output and error.
std::string hostAdb(const std::string &arguments);
// The same with `environment` (NAME=VALUE words) set for it alone.
std::string hostAdbWith(const std::string &environment, const std::string &arguments);

// A loopback port nobody listens on just now, for an adb server.
int freePort();

// Whether the real adb runs here at all; otherwise `why` says what is missing.
bool realAdbRuns(std::string &why);

// Every process this test run started (adb clients and servers and the fixture) carries this
// mark in its environment; the ids of those still alive.
std::string processMark();
std::vector<int> markedProcesses();

class RealAdbTest : public CabinetTest {
  protected:
    EmulatedCabinet fixture;
    // A second device, an owner's phone, for the tests that plug two in; started by startPhone.
    EmulatedCabinet phone;
    // A second cabinet, for the tests that plug two cabinets in; started by startDevice.
    EmulatedCabinet secondCabinet;
    std::string home;
    void SetUp() override;
    void TearDown() override;

    // Starts the phone with a state folder of its own; false (with the failure added) otherwise.
    bool startPhone();
    // Starts `device` as a `kind` ("phone" or "cabinet") with a state folder of its own.
    bool startDevice(EmulatedCabinet &device, const std::string &kind);
    // Plugs the cabinet (or `device`) in (`adb connect`), and unplugs it again.
    void plugIn() const;
    void plugIn(const EmulatedCabinet &device) const;
    void unplug() const;
    void unplug(const EmulatedCabinet &device) const;
    // Waits (at most 30 s) until `adb devices` shows the cabinet (or `device`) in `state`; false
    // otherwise.
    bool waitForState(const std::string &state) const;
    bool waitForState(const EmulatedCabinet &device, const std::string &state) const;
};
