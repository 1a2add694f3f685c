#include "../support/WorkerRig.h"

#include "UpdateTexts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// The worker's 100 ms turns take 200 ms of real time while every other wait runs
// fast, so the destructor always looks again before the worker's next turn.
class SlowTurnClock : public FastWorkerClock {
public:
    SlowTurnClock() : FastWorkerClock(WorkerRig::kSpeedup) {}
    void sleepMs(int ms) override {
        if (ms == CUpdateWorker::kTurnMs && std::this_thread::get_id() != owner_)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        else
            FastWorkerClock::sleepMs(ms);
    }

private:
    const std::thread::id owner_ = std::this_thread::get_id();
};

} // namespace

TEST(Worker, AnUpdateOrderIsTakenWithinOneTurnAndProgressStartsAtZero) {
    WorkerRig rig("block=64,latency=1"); // slow enough for the page to see the run
    ASSERT_EQ(rig.worker->loadFile(rig.file(1024).c_str()), LoadOutcome::Loaded);
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->present(); }));
    std::atomic<int64_t> firstBlockAt{-1};
    std::atomic<int> progressAtFirstBlock{-1};
    rig.sim.hid->setObserver([&](size_t, const SimulatedDevice::Request& request) {
        if (request.command == CMD_BLOCK_START && firstBlockAt < 0) {
            progressAtFirstBlock = rig.worker->progress();
            firstBlockAt = rig.clock->nowMs();
        }
    });
    const int64_t ordered = rig.clock->nowMs();
    rig.presenter->onControl(kTagUpdate, 1);
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->displayState() == SHOW_DONE; }));
    EXPECT_LE(firstBlockAt - ordered, CUpdateWorker::kTurnMs + 50);
    EXPECT_EQ(progressAtFirstBlock, 0);
    EXPECT_TRUE(rig.worker->result());
    EXPECT_EQ(rig.view.lines(), updatetexts::resultLines(true));
    EXPECT_TRUE(rig.view.everShowed("Updating Quorix Demo Device"));
    EXPECT_EQ(rig.sim.storedImage(), rig.sim.image);
    EXPECT_EQ(rig.worker->progress(), 0); // reset once the result was shown
    EXPECT_FALSE(rig.view.progressEnabled);
    EXPECT_TRUE(rig.view.openEnabled);
    EXPECT_TRUE(rig.view.closeEnabled);
    EXPECT_EQ(rig.worker->workerState(), WORKER_POLL);
}

TEST(Worker, AnUnplugFollowedByAReturnRestartsFromBlockZero) {
    WorkerRig rig("block=64,unplug-at=2,replug-after=300");
    ASSERT_EQ(rig.worker->loadFile(rig.file(512).c_str()), LoadOutcome::Loaded);
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->present(); }));
    const int64_t ordered = rig.clock->nowMs();
    rig.worker->orderUpdate();
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->displayState() == SHOW_DONE; }));
    EXPECT_TRUE(rig.worker->result());
    EXPECT_LT(rig.clock->nowMs() - ordered, CUpdateWorker::kRetryWindowMs);
    EXPECT_EQ(rig.blockStartsAt(0), 2u); // the whole image again
    EXPECT_EQ(rig.sim.storedImage(), rig.sim.image);
}

TEST(Worker, ADeviceThatStaysAwayEndsInFailureAfterTheRetryWindow) {
    WorkerRig rig("block=64,unplug-at=2");
    ASSERT_EQ(rig.worker->loadFile(rig.file(512).c_str()), LoadOutcome::Loaded);
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->present(); }));
    const int64_t ordered = rig.clock->nowMs();
    rig.worker->orderUpdate();
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->displayState() == SHOW_DONE; }));
    EXPECT_FALSE(rig.worker->result());
    EXPECT_GE(rig.clock->nowMs() - ordered, CUpdateWorker::kRetryWindowMs);
    EXPECT_EQ(rig.view.lines(), updatetexts::resultLines(false));
    EXPECT_EQ(rig.blockStartsAt(0), 1u);
}

TEST(Worker, AFileLoadIsRefusedWhileARunSendsTheImage) {
    WorkerRig rig("block=64,latency=1");
    const std::string first = rig.file(4096, 1);
    ASSERT_EQ(rig.worker->loadFile(first.c_str()), LoadOutcome::Loaded);
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->present(); }));
    const uint8_t* image = rig.worker->updater().imageStart();
    rig.worker->orderUpdate();
    const std::string second = rig.file(128, 2);
    EXPECT_EQ(rig.worker->loadFile(second.c_str()), LoadOutcome::RefusedDuringUpdate);
    EXPECT_EQ(rig.worker->updater().imageStart(), image);
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->displayState() == SHOW_DONE; }));
    EXPECT_TRUE(rig.worker->result());
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->workerState() == WORKER_POLL; }));
    EXPECT_EQ(rig.worker->loadFile(second.c_str()), LoadOutcome::Loaded);
}

TEST(Worker, ACommandLineStartWithAWrongPathReportsTheFile) {
    WorkerRig rig("");
    std::atomic<uint8_t> exitResult{0};
    rig.presenter->prepareCommandLine(&exitResult);
    const int64_t start = rig.clock->nowMs();
    EXPECT_FALSE(rig.presenter->startCommandLineUpdate(rig.sim.dir.file("none.qfu").c_str(),
                                                       "vid_1209&pid_0001"));
    EXPECT_EQ(rig.view.lines(), (std::vector<std::string>{updatetexts::kUpdateError,
                                                          updatetexts::kFileNotLoadable}));
    EXPECT_GE(rig.clock->nowMs() - start, CUpdateWorker::kFailurePauseMs);
    EXPECT_EQ(rig.view.closeRequests.load(), 1);
    EXPECT_EQ(exitResult.load(), 0);
}

TEST(Worker, ACommandLineStartWithoutTheDeviceGivesUpAfterTenSeconds) {
    WorkerRig rig("vid=1209,pid=0002");
    std::atomic<uint8_t> exitResult{0};
    rig.presenter->prepareCommandLine(&exitResult);
    const int64_t start = rig.clock->nowMs();
    EXPECT_FALSE(rig.presenter->startCommandLineUpdate(rig.file(64).c_str(), "vid_1209&pid_0001"));
    EXPECT_GE(rig.clock->nowMs() - start, CUpdateWorker::kDeviceWaitMs);
    EXPECT_EQ(rig.view.lines(), (std::vector<std::string>{updatetexts::kUpdateError,
                                                          updatetexts::kDeviceNotFound}));
    EXPECT_EQ(exitResult.load(), 0);
}

TEST(Worker, DestroyingWhilePollingSendsTheCloseRequestWhenTheDeviceIsOpen) {
    WorkerRig rig("block=64");
    ASSERT_EQ(rig.worker->loadFile(rig.file(256).c_str()), LoadOutcome::Loaded);
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->present(); }));
    ASSERT_TRUE(rig.worker->updater().device().isOpen()); // opened for its information
    rig.worker.reset();
    ASSERT_FALSE(rig.sim.requests().empty());
    EXPECT_EQ(rig.sim.requests().back().command, CMD_CLOSE);

    WorkerRig idle("block=64"); // never opened: nothing is sent
    idle.worker.reset();
    EXPECT_TRUE(idle.sim.requests().empty());
}

TEST(Worker, DestroyingAfterARunThatOutlastsTheWaitStillSendsTheCloseRequest) {
    // One malformed acknowledgement, then silence: the run ends only when the
    // response time runs out, well after the destructor's 2 s wait.
    WorkerRig rig("block=64,bad-checksum-at=1", std::make_shared<SlowTurnClock>());
    ASSERT_EQ(rig.worker->loadFile(rig.file(512).c_str()), LoadOutcome::Loaded);
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->present(); }));
    rig.worker->orderUpdate();
    ASSERT_TRUE(rig.tickUntil([&] { return rig.blockStartsAt(1) > 0; }));
    const auto start = Clock::now();
    rig.presenter.reset();
    rig.worker.reset();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(8));
    ASSERT_FALSE(rig.sim.requests().empty());
    EXPECT_EQ(rig.sim.requests().back().command, CMD_CLOSE);
}

TEST(Worker, DestroyingDuringARunStopsItSafely) {
    WorkerRig rig("block=64,latency=1");
    ASSERT_EQ(rig.worker->loadFile(rig.file(64 * 1024).c_str()), LoadOutcome::Loaded);
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->present(); }));
    rig.worker->orderUpdate();
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->progress() > 5; }));
    const auto start = Clock::now();
    rig.presenter.reset();
    rig.worker.reset();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(rig.sim.requests().back().command, CMD_CLOSE);
    EXPECT_NE(rig.sim.storedImage(), rig.sim.image); // it did not run to its end
}

// Every report takes longer than its limit, so each transfer fails after 2 s. A stop
// early in the first one waits that report out, but the close request that follows
// is not given another 2 s.
TEST(Worker, AStopWaitsOutTheReportInProgressAndLittleMore) {
    WorkerRig rig("block=64,latency=2500");
    ASSERT_EQ(rig.worker->loadFile(rig.file(256).c_str()), LoadOutcome::Loaded);
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->present(); })); // its query failed
    rig.worker->orderUpdate();
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->displayState() == SHOW_STARTED; }));
    const auto start = Clock::now();
    rig.presenter.reset();
    rig.worker.reset();
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(1500));
    EXPECT_LT(took, std::chrono::milliseconds(3000)); // two full limits before
    EXPECT_TRUE(rig.sim.requests().empty());
}

TEST(Worker, AnInteractiveFailureClearsPresenceUntilTheNextPoll) {
    WorkerRig rig("block=64,nak-at=0");
    ASSERT_EQ(rig.worker->loadFile(rig.file(256).c_str()), LoadOutcome::Loaded);
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->present(); }));
    rig.worker->orderUpdate();
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->displayState() == SHOW_DONE; }));
    EXPECT_FALSE(rig.worker->result());
    // The device is still there: the next poll finds it and rebuilds the texts.
    ASSERT_TRUE(rig.tickUntil([&] { return rig.view.lines().size() == 5; }));
    EXPECT_TRUE(rig.worker->present());
}

namespace {

// The failure pause after an interactive run takes 4 s of real time; every other
// wait runs fast.
class SlowPauseClock : public FastWorkerClock {
public:
    SlowPauseClock() : FastWorkerClock(WorkerRig::kSpeedup) {}
    void sleepMs(int ms) override {
        if (ms == CUpdateWorker::kPauseStepMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        else
            FastWorkerClock::sleepMs(ms);
    }
};

} // namespace

TEST(Worker, AFileFromOutsideIsRefusedOnlyWhileTheImageIsInUse) {
    WorkerRig rig("block=64,latency=1", std::make_shared<SlowPauseClock>());
    ASSERT_EQ(rig.worker->loadFile(rig.file(4096, 1).c_str()), LoadOutcome::Loaded);
    const std::vector<uint8_t> image = rig.sim.image;
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->present(); }));
    // While the run sends the image, a drop and a dialog's answer both say why
    // they were not loaded.
    rig.presenter->onControl(kTagUpdate, 1);
    EXPECT_EQ(rig.presenter->loadFile(rig.file(128, 2).c_str()), LoadOutcome::RefusedDuringUpdate);
    EXPECT_EQ(rig.view.lines().back(), updatetexts::kDropRefused);
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->displayState() == SHOW_DONE; }));
    EXPECT_EQ(rig.sim.storedImage(), image);

    WorkerRig failing("block=64,nak-at=0", std::make_shared<SlowPauseClock>());
    ASSERT_EQ(failing.worker->loadFile(failing.file(256, 1).c_str()), LoadOutcome::Loaded);
    ASSERT_TRUE(failing.tickUntil([&] { return failing.worker->present(); }));
    failing.presenter->onControl(kTagOpen, 1); // a dialog opens
    failing.worker->orderUpdate();
    failing.presenter->fileChosen(failing.file(128, 2));
    EXPECT_EQ(failing.view.lines().back(), updatetexts::kDropRefused);
    ASSERT_TRUE(failing.tickUntil([&] { return failing.worker->displayState() == SHOW_DONE; }));
    EXPECT_FALSE(failing.worker->result());
    // In the pause after the failure nothing is sent: a new file loads at once.
    ASSERT_EQ(failing.worker->workerState(), WORKER_UPDATE);
    EXPECT_EQ(failing.presenter->loadFile(failing.file(128, 3).c_str()), LoadOutcome::Loaded);
    failing.presenter->onControl(kTagOpen, 1);
    failing.presenter->fileChosen(failing.file(192, 4));
    EXPECT_EQ(failing.worker->updater().imageLength(), 192u);
}

TEST(Worker, AFileForAnotherDeviceGivesUpTheDeviceInUse) {
    WorkerRig rig("block=64,hw=1.0.01;pid=0002,block=64,hw=2.0.02");
    auto deviceLine = [&] { return rig.view.lines().size() == 5 ? rig.view.lines()[2] : std::string(); };
    auto closes = [&](size_t device) {
        size_t count = 0;
        for (const auto& request : rig.sim.requests(device))
            count += request.command == CMD_CLOSE;
        return count;
    };
    const std::vector<uint8_t> imageA = qfu::randomImage(512, 1), imageB = qfu::randomImage(512, 2);
    const std::string fileA = rig.sim.makeFileFor(rig.sim.configs[0], imageA);
    const std::string fileB = rig.sim.makeFileFor(rig.sim.configs[1], imageB);

    // The texts: B's file never shows A's versions.
    ASSERT_EQ(rig.presenter->loadFile(fileA.c_str()), LoadOutcome::Loaded);
    ASSERT_TRUE(rig.tickUntil([&] { return deviceLine() == "Hardware version: 1.0.01"; }));
    const size_t shownBefore = rig.view.history.size();
    ASSERT_EQ(rig.presenter->loadFile(fileB.c_str()), LoadOutcome::Loaded);
    EXPECT_FALSE(rig.worker->present()); // until the worker has looked for B's device
    ASSERT_TRUE(rig.tickUntil([&] { return deviceLine() == "Hardware version: 2.0.02"; }));
    for (size_t i = shownBefore; i < rig.view.history.size(); ++i) {
        const auto& lines = rig.view.history[i];
        EXPECT_FALSE(lines.size() == 5 && lines[2] == "Hardware version: 1.0.01");
    }
    EXPECT_EQ(closes(0), 1u); // A was told, with its own IDs

    // An update ordered before the worker's next turn still goes to B's device.
    ASSERT_EQ(rig.presenter->loadFile(fileA.c_str()), LoadOutcome::Loaded);
    ASSERT_TRUE(rig.tickUntil([&] { return deviceLine() == "Hardware version: 1.0.01"; }));
    ASSERT_EQ(rig.presenter->loadFile(fileB.c_str()), LoadOutcome::Loaded);
    rig.worker->orderUpdate();
    ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->displayState() == SHOW_DONE; }));
    EXPECT_TRUE(rig.worker->result());
    EXPECT_EQ(rig.sim.storedImage(1), imageB);
    EXPECT_NE(rig.sim.storedImage(0), imageB);
    for (const auto& request : rig.sim.requests(0))
        EXPECT_NE(request.command, CMD_BLOCK_START);
}

TEST(Worker, ACommandLineFileForAnotherDeviceIsNotWritten) {
    WorkerRig rig("block=64;pid=0002,block=64");
    const std::string fileB = rig.sim.makeFileFor(rig.sim.configs[1], qfu::randomImage(256, 2));
    std::atomic<uint8_t> exitResult{0};
    rig.presenter->prepareCommandLine(&exitResult);
    EXPECT_FALSE(rig.presenter->startCommandLineUpdate(fileB.c_str(), "vid_1209&pid_0001"));
    EXPECT_EQ(rig.view.lines(), (std::vector<std::string>{updatetexts::kUpdateError,
                                                          updatetexts::kFileForOtherDevice}));
    EXPECT_EQ(exitResult.load(), 0);
    for (size_t device : {0u, 1u})
        for (const auto& request : rig.sim.requests(device))
            EXPECT_NE(request.command, CMD_BLOCK_START);
}

// A window's command-line start waits for its device in the page's ticks, never in
// one call, so that the window answers throughout: each tick takes it one step on.
TEST(Worker, AWindowsCommandLineStartIsCarriedOnByTheTicks) {
    WorkerRig rig("vid=1209,pid=0002");
    std::atomic<uint8_t> exitResult{0};
    rig.presenter->prepareCommandLine(&exitResult);
    const std::vector<std::string> waiting = rig.view.lines();
    const int64_t start = rig.clock->nowMs();
    rig.presenter->beginCommandLineUpdate(rig.file(64).c_str(), "vid_1209&pid_0001");
    rig.presenter->onTick();
    EXPECT_EQ(rig.view.lines(), waiting); // still waiting, and back at once
    EXPECT_LT(rig.clock->nowMs() - start, CUpdateWorker::kDeviceWaitMs);

    int ticks = 0;
    ASSERT_TRUE(rig.tickUntil([&] {
        ++ticks;
        return rig.view.closeRequests.load() > 0;
    }));
    EXPECT_GT(ticks, 10);
    EXPECT_GE(rig.clock->nowMs() - start, CUpdateWorker::kDeviceWaitMs + CUpdateWorker::kFailurePauseMs);
    EXPECT_EQ(rig.view.lines(), (std::vector<std::string>{updatetexts::kUpdateError,
                                                          updatetexts::kDeviceNotFound}));
    EXPECT_EQ(rig.view.closeRequests.load(), 1);
    EXPECT_EQ(exitResult.load(), 0);
}
