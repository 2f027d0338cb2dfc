// The operator closes the main window before the update has ended: by the close box, Esc or Enter,
// at different moments. However it is closed, the run ends without a message, the dialog's
// destructor stops the reader and closes the port, and the device sees the port closed.

#include <QApplication>
#include <ostream>
#include <string>
#include <vector>

#include "e2e/e2e_fixture.h"
#include "framework/window.h"
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
        if (c.moment == Moment::kPortJustOpened) return run.Dialog() && run.Dialog()->PortOpen();
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

INSTANTIATE_TEST_SUITE_P(
    Moments, CloseBeforeTheDataRequest,
    ::testing::Values(CloseCase{Moment::kPortJustOpened, Gesture::kCloseBox},
                      CloseCase{Moment::kPortJustOpened, Gesture::kEscape},
                      CloseCase{Moment::kPortJustOpened, Gesture::kEnter},
                      CloseCase{Moment::kAfterBootLines, Gesture::kCloseBox},
                      CloseCase{Moment::kAfterBootLines, Gesture::kEscape},
                      CloseCase{Moment::kAfterBootLines, Gesture::kEnter},
                      CloseCase{Moment::kPortJustOpened, Gesture::kSystemMenuClose},
                      CloseCase{Moment::kAfterBootLines, Gesture::kSystemMenuClose}),
    [](const ::testing::TestParamInfo<CloseCase>& p) { return NameOf(p.param); });

// A data request and an outcome already queued when the operator closes the window, in the same
// turn of the loop: neither starts an upload nor shows a box before the run returns.
class CloseWithMessagesQueued : public EndToEndTest,
                                public ::testing::WithParamInterface<Gesture> {};

TEST_P(CloseWithMessagesQueued, NeitherUploadsNorReports) {
    folder_.WriteDataFile(1001);
    SimulatedDevice device({"--scenario", "silent"});
    UpdateRun run;
    bool uploadStarted = false;
    run.AtUploadStart([&] { uploadStarted = true; });
    run.When([&] { return run.Dialog() && run.Dialog()->PortOpen(); },
             [&] {
                 // The gesture first, then the reader's two messages: one turn takes all three.
                 QMetaObject::invokeMethod(
                     qApp, [&] { run.Perform(GetParam()); }, Qt::QueuedConnection);
                 fw::PostMessage(run.Dialog()->Handle(), WM_DEVICE_DATAWAIT);
                 fw::PostMessage(run.Dialog()->Handle(), WM_UPDATE_END);
             });
    const RunRecord record = run.Run();

    EXPECT_FALSE(uploadStarted);
    EXPECT_EQ(record.BoxTexts(), std::vector<std::string>{});
    EXPECT_FALSE(record.exitRequested);
    ExpectNothingLeftOf(device);
    const DeviceReport report = device.Stop();
    EXPECT_FALSE(Contains(report.transcript, "host> receiv")) << report.transcript;
}

INSTANTIATE_TEST_SUITE_P(Gestures, CloseWithMessagesQueued,
                         ::testing::Values(Gesture::kCloseBox, Gesture::kEscape, Gesture::kEnter,
                                           Gesture::kSystemMenuClose),
                         [](const ::testing::TestParamInfo<Gesture>& p) {
                             return std::string(GestureName(p.param));
                         });

// While the file goes out the window takes no close of any kind: the upload goes on to its end, and
// success is reported only once the device has said so. Keys and the close box meet a disabled
// window; Close from a system menu that was open already meets the window's own refusal.
class CloseDuringTheUpload : public EndToEndTest, public ::testing::WithParamInterface<Gesture> {};

TEST_P(CloseDuringTheUpload, IsRefusedAndTheUpdateRunsToItsEnd) {
    SimulatedDevice device({"--data", folder_.WriteDataFile(2000)});
    UpdateRun run;
    bool ownerDisabled = false;
    run.AtUploadStart([&] {
        ownerDisabled = !run.Dialog()->IsWindowEnabled();
        run.Perform(GetParam());
    });
    const RunRecord record = run.Run();

    EXPECT_TRUE(ownerDisabled);
    EXPECT_EQ(record.BoxTexts(), std::vector<std::string>{Text(IDS_UPDATE_DONE)});
    for (const BoxSeen& box : record.boxes) EXPECT_EQ(LastLine(box.log), "Versionup succeed");
    EXPECT_TRUE(record.exitRequested);
    ExpectNothingLeftOf(device);
    const DeviceReport report = device.Finish();
    EXPECT_TRUE(Contains(report.transcript, "result: match\n")) << report.transcript;
}

INSTANTIATE_TEST_SUITE_P(Gestures, CloseDuringTheUpload,
                         ::testing::Values(Gesture::kCloseBox, Gesture::kEscape, Gesture::kEnter,
                                           Gesture::kSystemMenuClose),
                         [](const ::testing::TestParamInfo<Gesture>& p) {
                             return std::string(GestureName(p.param));
                         });

}  // namespace
}  // namespace e2e
