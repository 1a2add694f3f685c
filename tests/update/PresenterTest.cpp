#include "../support/WorkerRig.h"

#include "UpdateTexts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

TEST(Presenter, TheTextsAndTheUpdateButtonFollowTheFileAndTheDevice) {
    WorkerRig rig("block=64");
    EXPECT_EQ(rig.worker->workerState(), WORKER_IDLE);
    rig.presenter->showInitialTexts();
    EXPECT_EQ(rig.view.lines(), updatetexts::startLines());

    ASSERT_EQ(rig.worker->loadFile(rig.file(256).c_str()), LoadOutcome::Loaded);
    EXPECT_EQ(rig.worker->workerState(), WORKER_POLL);
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->present(); }));
    ASSERT_TRUE(rig.tickUntil([&] { return rig.view.lines().size() == 5; }));
    EXPECT_EQ(rig.view.lines()[2], "Hardware version: 1.0.00");
    EXPECT_TRUE(rig.view.updateEnabled);

    rig.sim.hid->unplug(0);
    ASSERT_TRUE(rig.tickUntil([&] { return !rig.worker->present(); }));
    ASSERT_TRUE(rig.tickUntil([&] { return rig.view.lines().size() == 3; }));
    EXPECT_EQ(rig.view.lines()[2], updatetexts::kConnectDevice);
    EXPECT_FALSE(rig.view.updateEnabled);
}


TEST(Presenter, ACommandLineRunShowsOnlyItsOwnTextsAndClosesAfterTheResult) {
    WorkerRig rig("block=64");
    std::atomic<uint8_t> exitResult{0};
    rig.presenter->prepareCommandLine(&exitResult);
    EXPECT_EQ(rig.view.lines(), updatetexts::commandLineStartLines());
    ASSERT_TRUE(rig.presenter->startCommandLineUpdate(rig.file(512).c_str(), "vid_1209&pid_0001"));
    ASSERT_TRUE(rig.tickUntil([&] { return rig.view.closeRequests > 0; }));
    EXPECT_TRUE(rig.worker->commandLineDone());
    EXPECT_EQ(exitResult.load(), 1);
    EXPECT_EQ(rig.view.lines(), updatetexts::resultLines(true));
    // Only the command line's own texts were ever shown.
    for (const auto& lines : rig.view.history)
        EXPECT_NE(lines.size(), 5u);
}


TEST(Presenter, ACommandLineRunNeverClosesBeforeItShowedTheResult) {
    WorkerRig rig("block=64,latency=1");
    // A view that is slow to draw the progress, so slow that the run ends meanwhile.
    rig.view.beforeProgress = [&] {
        const auto start = std::chrono::steady_clock::now();
        while (!rig.worker->commandLineDone() &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    std::atomic<uint8_t> exitResult{0};
    rig.presenter->prepareCommandLine(&exitResult);
    ASSERT_TRUE(rig.presenter->startCommandLineUpdate(rig.file(512).c_str(), "vid_1209&pid_0001"));
    ASSERT_TRUE(rig.tickUntil([&] { return rig.view.closeRequests > 0; }));
    EXPECT_EQ(rig.view.linesAtFirstClose, updatetexts::resultLines(true));
    EXPECT_EQ(exitResult.load(), 1);
}
