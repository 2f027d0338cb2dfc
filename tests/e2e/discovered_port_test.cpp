// Runs where nothing in the environment names the port: the port dialog offers the ports found in
// a fake system tree, whose adapter's device node is the simulator's pseudo-terminal. The dialog
// says which device each choice is, and the device it described is the one that carries the
// update.

#include <stdlib.h>

#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2e_fixture.h"
#include "framework/app.h"
#include "framework/text_format.h"
#include "res/resource.h"
#include "support/fake_port_tree.h"

namespace e2e {
namespace {

const std::string kAdapter = "FTDI FT232R USB UART, serial A9XYZ";

test::UsbAdapter Ftdi() {
    return {"ttyUSB0", "ftdi_sio", "1-1", "FTDI", "FT232R USB UART", "A9XYZ"};
}

class DiscoveredPortTest : public EndToEndTest {
  protected:
    void SetUp() override {
        EndToEndTest::SetUp();
        unsetenv("QELPUPD_COM1");
        unsetenv("QELPUPD_COM2");
    }
    test::FakePortTree tree_;
};

struct DiscoveredCase {
    const char* name;
    // Lays out the tree; the adapter ttyUSB0 is added after.
    std::function<void(test::FakePortTree&)> build;
    PortChoice choice;
    // The tooltips of COM1 and COM2; "@tty" stands for the tree's device node of that name.
    std::vector<std::string> tips;
};

void PrintTo(const DiscoveredCase& c, std::ostream* out) {
    *out << c.name;
}

class DiscoveredPorts : public DiscoveredPortTest,
                        public ::testing::WithParamInterface<DiscoveredCase> {};

TEST_P(DiscoveredPorts, TheDescribedDeviceCarriesTheUpdate) {
    const DiscoveredCase& c = GetParam();
    SimulatedDevice device({"--data", folder_.WriteDataFile(1001)}, 0);
    c.build(tree_);
    tree_.AddUsb(Ftdi());
    tree_.LinkDeviceNode("ttyUSB0", device.SlavePath());
    UpdateRun run(c.choice, tree_.Roots());
    const RunRecord record = run.Run();

    std::vector<std::string> tips;
    for (const std::string& tip : c.tips)
        tips.push_back(tip[0] == '@' ? tree_.DevicePath(tip.substr(1, tip.find(' ') - 1)) +
                                           tip.substr(tip.find(' '))
                                     : tip);
    EXPECT_EQ(record.portToolTips, tips);
    EXPECT_EQ(record.portDescriptions, tips);
    EXPECT_EQ(record.BoxTexts(), std::vector<std::string>{Text(IDS_UPDATE_DONE)});
    EXPECT_EQ(record.dataRequests, 1);
    EXPECT_TRUE(record.exitRequested);
    ExpectNothingLeftOf(device);
    const DeviceReport report = device.Finish();
    EXPECT_EQ(report.exitCode, 0) << report.transcript;
    EXPECT_TRUE(Contains(report.transcript, "result: match\n")) << report.transcript;
}

INSTANTIATE_TEST_SUITE_P(
    Trees, DiscoveredPorts,
    ::testing::Values(
        DiscoveredCase{
            "AdapterAloneIsCom1",
            [](test::FakePortTree& tree) {
                tree.AddVirtual("tty0");
                for (const char* tty : {"ttyS0", "ttyS1", "ttyS2", "ttyS3"}) tree.AddUart(tty, 0);
            },
            PortChoice::kCom1ByEnter,
            {"@ttyUSB0 \u2014 " + kAdapter, "/dev/ttyS1 \u2014 no serial port found for COM2"}},
        DiscoveredCase{
            "AdapterBehindABuiltInPortIsCom2",
            [](test::FakePortTree& tree) {
                tree.AddUart("ttyS0", 4, true);
                tree.AddUart("ttyS1", 0, true);
            },
            PortChoice::kCom2ByClick,
            {"@ttyS0 \u2014 built-in serial port (16550A UART)", "@ttyUSB0 \u2014 " + kAdapter}}),
    [](const ::testing::TestParamInfo<DiscoveredCase>& p) { return std::string(p.param.name); });

// The adapter was found, but its device is gone by the time it is opened: message 107 names COM1,
// and standard error names the device and what it was.
TEST_F(DiscoveredPortTest, AdapterGoneBeforeTheOpenIsNamedOnStandardError) {
    folder_.WriteDataFile(1001);
    SimulatedDevice device({}, 0);
    tree_.AddUsb(Ftdi());
    tree_.LinkDeviceNode("ttyUSB0", tree_.Roots().dev + "/unplugged");
    UpdateRun run(PortChoice::kCom1ByEnter, tree_.Roots());
    StderrCapture captured;
    const RunRecord record = run.Run();
    const std::string errors = captured.Stop();

    EXPECT_EQ(record.BoxTexts(),
              std::vector<std::string>{fw::FormatMessage(IDS_PORT_UNAVAILABLE, {"COM1"})});
    EXPECT_TRUE(record.exitRequested);
    const std::string expected = fw::ApplicationName() + ": COM1: " + tree_.DevicePath("ttyUSB0") +
                                 " (" + kAdapter + "): open failed (errno 2, ";
    EXPECT_TRUE(Contains(errors, expected)) << errors;
    EXPECT_TRUE(Contains(errors, "no such device")) << errors;
    ExpectNothingLeftOf(device);
    device.Stop();
}

}  // namespace
}  // namespace e2e
