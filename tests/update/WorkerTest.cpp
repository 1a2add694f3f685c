#include "../support/RecordingView.h"
#include "../support/SimulatedSetup.h"

#include "CUpdatePresenter.h"
#include "CUpdateWorker.h"
#include "DeviceSearch.h"
#include "UpdateTexts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSpeedup = 20;

// A worker on simulated devices with a clock twenty times faster than real.
struct WorkerRig {
    explicit WorkerRig(const std::string& configText) : sim(configText) {
        clock = std::make_shared<FastWorkerClock>(kSpeedup);
        worker = std::make_unique<CUpdateWorker>(sim.hid, clock);
        presenter = std::make_unique<CUpdatePresenter>(*worker, view);
    }
    ~WorkerRig() {
        presenter.reset();
        worker.reset();
        closeOpenDeviceList();
    }

    std::string file(size_t imageSize, uint64_t seed = 1) {
        sim.image = qfu::randomImage(imageSize, seed);
        return sim.makeFile(sim.image);
    }

    // Runs the page's 50 ms step until the condition holds (or a real-time limit).
    bool tickUntil(const std::function<bool()>& condition, int limitMs = 20000) {
        const auto start = Clock::now();
        while (!condition()) {
            if (Clock::now() - start > std::chrono::milliseconds(limitMs))
                return false;
            presenter->onTick();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        presenter->onTick();
        return true;
    }

    size_t blockStartsAt(uint16_t block) const {
        size_t count = 0;
        for (const auto& request : sim.requests())
            count += request.command == CMD_BLOCK_START && request.blockIndex == block;
        return count;
    }

    SimulatedSetup sim;
    std::shared_ptr<FastWorkerClock> clock;
    RecordingView view;
    std::unique_ptr<CUpdateWorker> worker;
    std::unique_ptr<CUpdatePresenter> presenter;
};

} // namespace

TEST(Worker, StartsIdleAndPollsOnceAFileIsLoaded) {
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
    rig.presenter->onControl(CUpdatePresenter::kTagUpdate, 1);
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

TEST(Worker, ACommandLineStartWithTheDevicePresentLoadsRunsAndSetsTheExitResult) {
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
