// The device hangs up in the middle of the transfer, as a cable pulled out would: the run ends as
// failed, the window stays with its log, and nothing keeps polling the dead line.

#include <QEventLoop>
#include <QTimer>

#include "e2e/e2e_fixture.h"
#include "res/resource.h"

namespace e2e {
namespace {

// CPU time of the whole process while its event loop runs for `span`.
double CpuSecondsWhileIdle(std::chrono::milliseconds span) {
    const double before = ProcessCpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(span, &loop, &QEventLoop::quit);
    loop.exec();
    return ProcessCpuSeconds() - before;
}

class HangUp : public EndToEndTest {};

TEST_F(HangUp, MidTransferGives108AndNoSpinning) {
    SimulatedDevice device({"--scenario", "hangup", "--data", folder_.WriteDataFile(200000),
                            "--hangup-after", "100000"});
    UpdateRun run;
    double cpu = -1;
    // A loop that spins on the dead line burns a whole core; an idle window uses next to nothing.
    run.When([&] { return run.OutcomeReported(); },
             [&] { cpu = CpuSecondsWhileIdle(std::chrono::seconds(1)); });
    run.CloseAfterOutcome(Gesture::kCloseBox);
    const RunRecord record = run.Run();

    EXPECT_EQ(record.BoxTexts(), std::vector<std::string>{Text(IDS_UPDATE_FAILED)});
    EXPECT_EQ(record.stayedOpen, true);
    EXPECT_EQ(record.exitStatus, 1);
    RecordProperty("cpu_ms_in_idle_second", static_cast<int>(cpu * 1000));
    EXPECT_GE(cpu, 0.0);
    EXPECT_LT(cpu, 0.3) << "CPU seconds used in one idle second after the hang-up";
    ASSERT_EQ(record.boxes.size(), 1u);
    EXPECT_EQ(LastLine(record.boxes[0].log), "bootmode=DATAWAIT");
    ExpectNothingLeftOf(device);
    const DeviceReport report = device.Finish();
    EXPECT_TRUE(Contains(report.transcript, "result: match (first 100000 bytes)"))
        << report.transcript;
}

}  // namespace
}  // namespace e2e
