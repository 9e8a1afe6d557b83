#include <gtest/gtest.h>
#include <string>

#include "app/app_state.h"
#include "cabinet/payload.h"
#include "cabinet/probe.h"
#include "cabinet/tool_runner.h"
#include "tests/support/cabinet_fixture.h"
#include "tests/support/test_environment.h"

namespace {

class Probe : public CabinetTest {
  protected:
    void SetUp() override {
        CabinetTest::SetUp();
        ASSERT_TRUE(prepareAdb());
    }
};

struct ProbeCase {
    const char *name;
    std::string devicesOutput;
    LinkState expected;
};

// The list as one real run of the tool gives it, classified; a run that did not happen lists
// nothing.
LinkState listedLink() {
    char output[4096];
    if (runAdb("devices", output, sizeof output, 15000) < 0)
        return NoCabinet;
    return classifyDeviceList(output);
}

const std::string heading = "List of devices attached\n";
const std::string daemon =
    "* daemon not running; starting now at tcp:5037\n* daemon started successfully\n";

// Each list travels through a real run of the tool, exactly as written here.
TEST_F(Probe, ClassifiesEveryKindOfDeviceList) {
    const ProbeCase cases[] = {
        {"heading only", heading + "\n", NoCabinet},
        {"nothing at all", "", NoCabinet},
        {"one device", heading + "R58M12ABCDE\tdevice\n\n", Ready},
        {"one unauthorised", heading + "R58M12ABCDE\tunauthorized\n\n", Unauthorized},
        {"one offline", heading + "R58M12ABCDE\toffline\n\n", Offline},
        {"unauthorised, device", heading + "A\tunauthorized\nB\tdevice\n\n", Ready},
        {"device, unauthorised", heading + "A\tdevice\nB\tunauthorized\n\n", Ready},
        {"offline, device", heading + "A\toffline\nB\tdevice\n\n", Ready},
        {"device, offline", heading + "A\tdevice\nB\toffline\n\n", Ready},
        {"unauthorised, offline", heading + "A\tunauthorized\nB\toffline\n\n", Offline},
        {"offline, unauthorised", heading + "A\toffline\nB\tunauthorized\n\n", Unauthorized},
        {"two devices", heading + "A\tdevice\nB\tdevice\n\n", Ready},
        {"unknown state", heading + "A\tbootloader\n\n", NoCabinet},
        {"unknown then unauthorised", heading + "A\tunauthorized\nB\trecovery\n\n", Unauthorized},
        {"no permissions",
         heading + "A\tno permissions (user in plugdev group; are your udev rules wrong?); see "
                   "[http://developer.android.com/tools/device.html]\n\n",
         NoPermission},
        {"still authorising", heading + "A\tauthorizing\n\n", Unauthorized},
        {"offline, then no permissions", heading + "A\toffline\nB\tno permissions; see []\n\n",
         NoPermission},
        {"no permissions, then device", heading + "A\tno permissions\nB\tdevice\n\n", Ready},
        {"state without a tab", heading + "A device\n\n", NoCabinet},
        {"daemon lines first", daemon + heading + "R58M12ABCDE\tdevice\n\n", Ready},
        {"CRLF line ends", "List of devices attached\r\nA\toffline\r\n\r\n", Offline},
        {"CRLF, two devices", "List of devices attached\r\nA\tunauthorized\r\nB\tdevice\r\n\r\n",
         Ready},
        {"no final line end", heading + "A\tdevice", Ready},
    };
    for (const ProbeCase &c : cases) {
        cabinet.write("devices-output", c.devicesOutput);
        EXPECT_EQ(listedLink(), c.expected) << c.name;
    }
}

TEST_F(Probe, ToolThatDidNotRunMeansNoCabinet) {
    cabinet.setLink("ready");
    appState.adbReady = false;
    EXPECT_EQ(listedLink(), NoCabinet);
    // A tool that cannot start: the runner empties the buffer, and the negative result decides
    // although the same words from a running tool would mean a cabinet.
    appState.adbReady = true;
    setWorkDir((temporary + "/gone").c_str());
    EXPECT_EQ(listedLink(), NoCabinet);
    EXPECT_EQ(classifyDeviceList("List of devices attached\nA\tdevice\n"), Ready);
}

TEST_F(Probe, AnswersTheSimulatorsLinkStates) {
    const std::pair<const char *, LinkState> states[] = {
        {"none", NoCabinet},
        {"ready", Ready},
        {"unauthorized", Unauthorized},
        {"offline", Offline},
        {"two", Ready},
        {"authorizing", Unauthorized},
        {"nopermissions", NoPermission},
    };
    for (const auto &state : states) {
        cabinet.setLink(state.first);
        EXPECT_EQ(listedLink(), state.second) << state.first;
    }
}

struct SearchCase {
    const char *name;
    const char *devices; // the simulator's devices: SERIAL STATE KIND a line
    LinkState link;
    const char *serial;
};

// The cabinet among the devices: a device is the cabinet when its launcher package has a path;
// a phone beside it changes nothing, and each device is asked pinned to its own serial.
TEST_F(Probe, FindsTheCabinetAmongTheDevices) {
    const SearchCase cases[] = {
        {"a phone alone", "PHONE1 ready phone\n", NotACabinet, ""},
        {"two phones", "PHONE1 ready phone\nPHONE2 ready phone\n", NotACabinet, ""},
        {"the cabinet, then a phone", "R58M12ABCDE ready cabinet\nPHONE1 ready phone\n", Ready,
         "R58M12ABCDE"},
        {"a phone, then the cabinet", "PHONE1 ready phone\nR58M12ABCDE ready cabinet\n", Ready,
         "R58M12ABCDE"},
        {"two cabinets", "R58M12ABCDE ready cabinet\nCAB2 ready cabinet\n", SeveralCabinets, ""},
        {"two cabinets and a phone",
         "PHONE1 ready phone\nR58M12ABCDE ready cabinet\nCAB2 ready cabinet\n", SeveralCabinets,
         ""},
        {"an unauthorised cabinet beside a phone",
         "R58M12ABCDE unauthorized cabinet\nPHONE1 ready phone\n", Unauthorized, ""},
        {"an offline cabinet beside a phone", "PHONE1 ready phone\nR58M12ABCDE offline cabinet\n",
         Offline, ""},
        {"a cabinet this user may not open", "R58M12ABCDE nopermissions cabinet\n", NoPermission,
         ""},
        {"nothing", "", NoCabinet, ""},
    };
    for (const SearchCase &c : cases) {
        cabinet.write("devices", c.devices);
        cabinet.write("log", "");
        CabinetSearch found;
        findCabinet(nullptr, nullptr, &found);
        EXPECT_EQ(found.link, c.link) << c.name;
        EXPECT_STREQ(found.serial, c.serial) << c.name;
        for (const SimInvocation &run : cabinet.log()) {
            if (run.arguments == words("devices")) {
                EXPECT_EQ(run.serial, "") << c.name;
                continue;
            }
            EXPECT_EQ(run.arguments, words("shell pm path com.arcade")) << c.name;
            EXPECT_NE(std::string(c.devices).find(run.serial + " ready"), std::string::npos)
                << c.name << ": asked " << run.serial;
        }
    }
}

// A query the tool could not answer says nothing about the device: alone, it is taken as the
// cabinet, as the poller always took a single device; beside a phone it is the only candidate.
TEST_F(Probe, DeviceWhoseQueryFailedIsNeverAPhone) {
    // The fault answers the first query only: the cabinet's, listed first.
    const std::pair<const char *, const char *> lists[] = {
        {"alone", "R58M12ABCDE ready cabinet\n"},
        {"beside a phone", "R58M12ABCDE ready cabinet\nPHONE1 ready phone\n"},
    };
    for (const auto &list : lists) {
        cabinet.write("devices", list.second);
        cabinet.write("packages/com.arcade", "data\n");
        cabinet.write("faults", "shell pm path\t1\tanswer\t1\terror: closed\\n\n");
        CabinetSearch found;
        findCabinet(nullptr, nullptr, &found);
        EXPECT_EQ(found.link, Ready) << list.first;
        EXPECT_STREQ(found.serial, "R58M12ABCDE") << list.first;
        EXPECT_FALSE(found.modificationFound) << list.first;
    }
    // Without the fault the cabinet's answer shows the modification.
    cabinet.write("faults", "");
    CabinetSearch found;
    findCabinet(nullptr, nullptr, &found);
    EXPECT_TRUE(found.modificationFound);
}

// The cabinet found before is taken as it is listed, without asking again; once it is gone, the
// devices are asked afresh.
TEST_F(Probe, KnownCabinetIsNotAskedAgain) {
    cabinet.write("devices", "PHONE1 ready phone\nR58M12ABCDE ready cabinet\n");
    CabinetSearch found;
    findCabinet("R58M12ABCDE", nullptr, &found);
    EXPECT_EQ(found.link, Ready);
    EXPECT_EQ(commands(), (std::vector<std::vector<std::string>>{words("devices")}));
    cabinet.write("devices", "PHONE1 ready phone\n");
    findCabinet("R58M12ABCDE", nullptr, &found);
    EXPECT_EQ(found.link, NotACabinet);
}

} // namespace
