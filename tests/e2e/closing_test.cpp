// The operator closes the main window before the update has ended: by the close box, Esc or Enter,
// at different moments. However it is closed, the run ends without a message, the dialog's
// destructor stops the reader and closes the port, and the device sees the port closed.

#include <ostream>
#include <string>
#include <vector>

#include "e2e/e2e_fixture.h"
#include "res/resource.h"

namespace e2e {
namespace {

enum class Moment {
    kPortJustOpened,  // the reader has just started; the device has said nothing yet
    kAfterBootLines,  // the device has printed its boot lines and not asked for the data
};

struct CloseCase {
    Moment moment;
    Gesture gesture;
};

std::string NameOf(const CloseCase& c) {
    const char* moment = c.moment == Moment::kPortJustOpened ? "PortJustOpened" : "AfterBootLines";
    return std::string(moment) + "_" + GestureName(c.gesture);
}

void PrintTo(const CloseCase& c, std::ostream* out) {
    *out << NameOf(c);
}

class CloseBeforeTheDataRequest : public EndToEndTest,
                                  public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseBeforeTheDataRequest, EndsTheRunAndClosesThePort) {
    const CloseCase& c = GetParam();
    folder_.WriteDataFile(1001);
    SimulatedDevice device({"--scenario", "silent", "--boot-delay-ms", "20"});
    UpdateRun run;
    int threadsWhileOpen = 0;
    const auto moment = [&] {
        if (c.moment == Moment::kPortJustOpened)
            return run.Dialog() && run.Dialog()->ReaderStarted();
        return run.LogContains("Waiting for update data");
    };
    run.When(moment, [&] {
        threadsWhileOpen = ProgramThreadCount();
        run.Perform(c.gesture);
    });
    const RunRecord record = run.Run();

    EXPECT_TRUE(record.closedByTest);
    EXPECT_EQ(record.BoxTexts(), std::vector<std::string>{});
    EXPECT_EQ(record.exitStatus, 1) << "closed before the device reported success";
    // The reader and the port watcher; just after the start the update record may still be taking
    // the data file's fingerprint on a thread of its own.
    EXPECT_GE(threadsWhileOpen, threadsBefore_ + 2) << "the reader and the port watcher";
    EXPECT_LE(threadsWhileOpen, threadsBefore_ + 3) << "the reader, the port watcher, the record";
    ExpectNothingLeftOf(device);
    const DeviceReport report = device.Finish();
    EXPECT_TRUE(Contains(report.transcript, "host> closed the port")) << report.transcript;
}

INSTANTIATE_TEST_SUITE_P(Moments, CloseBeforeTheDataRequest,
                         ::testing::Values(CloseCase{Moment::kPortJustOpened, Gesture::kCloseBox},
                                           CloseCase{Moment::kPortJustOpened, Gesture::kEscape},
                                           CloseCase{Moment::kPortJustOpened, Gesture::kEnter},
                                           CloseCase{Moment::kAfterBootLines, Gesture::kCloseBox},
                                           CloseCase{Moment::kAfterBootLines, Gesture::kEscape},
                                           CloseCase{Moment::kAfterBootLines, Gesture::kEnter}),
                         [](const ::testing::TestParamInfo<CloseCase>& p) {
                             return NameOf(p.param);
                         });

class CloseDuringTheUpload : public EndToEndTest {};

// Keys cannot reach the main window while the upload has it disabled, but the window manager's
// close box still can. Whether that stops the transfer or is ignored as on the original platform,
// the run must end cleanly, and success may be reported only once the device has said so.
TEST_F(CloseDuringTheUpload, CloseBoxEndsTheRunCleanlyWithoutClaimingSuccess) {
    SimulatedDevice device({"--data", folder_.WriteDataFile(2000)});
    UpdateRun run;
    run.AtUploadStart([&] { run.Perform(Gesture::kCloseBox); });
    const RunRecord record = run.Run();

    EXPECT_TRUE(record.closedByTest);
    for (const BoxSeen& box : record.boxes) {
        if (box.text != Text(IDS_UPDATE_DONE)) continue;
        EXPECT_EQ(LastLine(box.log), "Versionup succeed")
            << "message 109 " << (box.uploading ? "during" : "after")
            << " the upload, though the device has not reported success";
    }
    ExpectNothingLeftOf(device);
    const DeviceReport report = device.Finish();
    EXPECT_TRUE(Contains(report.transcript, "closed the port")) << report.transcript;
}

}  // namespace
}  // namespace e2e
