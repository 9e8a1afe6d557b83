#include <gtest/gtest.h>
#include <string>

#include "app/app_state.h"
#include "cabinet/payload.h"
#include "cabinet/probe.h"
#include "tests/support/cabinet_fixture.h"

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
        EXPECT_EQ(probeCabinet(), c.expected) << c.name;
    }
}

TEST_F(Probe, ToolThatDidNotRunMeansNoCabinet) {
    cabinet.setLink("ready");
    appState.adbReady = false;
    EXPECT_EQ(probeCabinet(), NoCabinet);
    // A tool that cannot start: the runner empties the buffer, and the negative result decides
    // although the same words from a running tool would mean a cabinet.
    appState.adbReady = true;
    setWorkDir((temporary + "/gone").c_str());
    EXPECT_EQ(probeCabinet(), NoCabinet);
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
        EXPECT_EQ(probeCabinet(), state.second) << state.first;
    }
}

} // namespace
