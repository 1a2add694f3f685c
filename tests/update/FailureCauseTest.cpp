// Why an attempt failed: the updater names the cause of each fault of the simulated
// device, and the worker tells each attempt, each retry and the outcome.
#include "../support/RefusingHid.h"
#include "../support/WorkerRig.h"

#include <gtest/gtest.h>

#include <thread>

using Kind = UpdateFailure::Kind;

TEST(FailureCause, EachFaultOfTheDeviceHasItsCause) {
    struct Case {
        const char* settings;
        size_t image;
        Kind kind;
        int block;
        uint32_t value;
        const char* text;
    } cases[] = {
        {"block=64", 512, Kind::None, -1, 0, "no failure"},
        {"block=64,nak-at=3", 512, Kind::Refused, 3, 2, "device answered status 2 at block 3"},
        {"block=64,unplug-at=2", 512, Kind::DeviceGone, 2, 0, "device gone at block 2"},
        {"block=64,bad-checksum-at=1", 512, Kind::BadChecksum, 1, 0, "bad reply checksum at block 1"},
        {"block=64,silent-at=4", 512, Kind::NoReply, 4, 0, "no reply within 2 s at block 4"},
        {"block=0", 512, Kind::BlockSizeZero, -1, 0, "block size 0"},
        {"block=70000", 512, Kind::BlockSizeTooLarge, -1, 70000, "block size 70000 (more than 65535)"},
        {"block=100", 512, Kind::ImageNotWholeBlocks, -1, 512,
         "image not a whole number of the device's blocks (512 bytes, blocks of 100)"},
        {"block=4", 262144 + 4, Kind::TooManyBlocks, -1, 65537, "image of 65537 blocks (more than 65535)"},
        {"busy", 512, Kind::Busy, -1, 0, "device busy (opened elsewhere)"},
        {"pid=0002", 512, Kind::NotConnected, -1, 0, "device not connected"},
    };
    // The faults that wait out the 2 s reply limit run side by side.
    std::vector<std::thread> runs;
    std::vector<UpdateFailure> seen(std::size(cases));
    std::vector<int> results(std::size(cases)); // not vector<bool>: its bits share bytes across threads
    for (size_t i = 0; i < std::size(cases); ++i)
        runs.emplace_back([&, i] {
            SimulatedSetup sim(cases[i].settings);
            sim.image = qfu::randomImage(cases[i].image, 1);
            SimulatedDeviceConfig target; // the file is for vid_1209&pid_0001 in every case
            EXPECT_TRUE(sim.updater->loadFile(sim.makeFileFor(target, sim.image).c_str()));
            std::atomic<int> progress{0};
            results[i] = sim.updater->runUpdate(progress);
            seen[i] = sim.updater->lastFailure();
        });
    for (std::thread& run : runs)
        run.join();
    closeOpenDeviceList();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(results[i] != 0, c.kind == Kind::None) << c.settings;
        EXPECT_EQ(seen[i].kind, c.kind) << c.settings;
        EXPECT_EQ(seen[i].block, c.block) << c.settings;
        EXPECT_EQ(seen[i].value, c.value) << c.settings;
        EXPECT_EQ(seen[i].text(), c.text) << c.settings;
    }
}

TEST(FailureCause, ADeviceThatMayNotBeOpenedIsADeniedPermission) {
    CFirmwareUpdater updater(std::make_shared<RefusingHid>());
    updater.setExplicitIdentity(0x1209, 0x0001);
    EXPECT_FALSE(updater.queryInfo());
    EXPECT_EQ(updater.lastFailure().kind, Kind::PermissionDenied); // before "busy": the user can fix it
}

namespace {

std::vector<WorkerEvent> runWithEvents(WorkerRig& rig, size_t image) {
    rig.worker->enableEvents();
    EXPECT_EQ(rig.worker->loadFile(rig.file(image).c_str()), LoadOutcome::Loaded);
    EXPECT_TRUE(rig.tickUntil([&] { return rig.worker->present(); }));
    rig.worker->orderUpdate();
    EXPECT_TRUE(rig.tickUntil([&] { return rig.worker->displayState() == SHOW_DONE; }, 40000));
    return rig.worker->takeEvents();
}

std::vector<WorkerEvent::Kind> kinds(const std::vector<WorkerEvent>& events) {
    std::vector<WorkerEvent::Kind> list;
    for (const WorkerEvent& event : events)
        list.push_back(event.kind);
    return list;
}

} // namespace

TEST(FailureCause, TheWorkerTellsEachAttemptTheRetryAndTheOutcome) {
    using K = WorkerEvent::Kind;
    {
        WorkerRig rig("block=64,nak-at=2,once");
        const std::vector<WorkerEvent> events = runWithEvents(rig, 512);
        ASSERT_EQ(kinds(events), (std::vector<K>{K::Device, K::AttemptFailed, K::Retrying, K::RunEnded}));
        EXPECT_EQ(events[0].path, rig.sim.hid->path(0));
        EXPECT_EQ(events[0].blockSize, 64u);
        EXPECT_EQ(events[0].firmware, (FirmwareVersion{1, 0, 0}));
        EXPECT_EQ(events[1].attempt, 1);
        EXPECT_EQ(events[1].failure.text(), "device answered status 2 at block 2");
        EXPECT_EQ(events[2].attempt, 2);
        EXPECT_GT(events[2].msLeft, 0);
        EXPECT_LT(events[2].msLeft, CUpdateWorker::kRetryWindowMs);
        EXPECT_TRUE(events[3].ok);
        EXPECT_EQ(events[3].attempt, 2);
        EXPECT_EQ(events[3].failure.kind, Kind::Refused); // the last cause, though it ended well
        EXPECT_EQ(events[3].recovery.kind, Kind::None);
        EXPECT_EQ(rig.worker->updater().blocksDone(), 8u);
    }
    {
        // Gone for good: one attempt, and the window closes with the device away.
        WorkerRig rig("block=64,unplug-at=2");
        const std::vector<WorkerEvent> events = runWithEvents(rig, 512);
        ASSERT_EQ(kinds(events), (std::vector<K>{K::Device, K::AttemptFailed, K::RunEnded}));
        EXPECT_FALSE(events[2].ok);
        EXPECT_EQ(events[2].attempt, 1);
        EXPECT_EQ(events[2].failure.text(), "device gone at block 2");
        EXPECT_EQ(events[2].recovery.kind, Kind::NotConnected);
        EXPECT_GE(events[2].ms, CUpdateWorker::kRetryWindowMs);
    }
    {
        // Nobody asked: the window's worker keeps nothing.
        WorkerRig rig("block=64");
        ASSERT_EQ(rig.worker->loadFile(rig.file(512).c_str()), LoadOutcome::Loaded);
        ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->present(); }));
        rig.worker->orderUpdate();
        ASSERT_TRUE(rig.tickUntil([&] { return rig.worker->displayState() == SHOW_DONE; }));
        EXPECT_TRUE(rig.worker->takeEvents().empty());
    }
}
