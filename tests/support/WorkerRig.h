#pragma once

#include "FastWorkerClock.h"
#include "RecordingView.h"
#include "SimulatedSetup.h"

#include "CUpdatePresenter.h"
#include "CUpdateWorker.h"
#include "DeviceSearch.h"

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

// A worker and its presenter on simulated devices, with a clock twenty times faster
// than real unless the test brings its own.
struct WorkerRig {
    static constexpr int kSpeedup = 20;
    using Clock = std::chrono::steady_clock;

    explicit WorkerRig(const std::string& configText,
                       std::shared_ptr<FastWorkerClock> fastClock = nullptr)
        : sim(configText) {
        clock = fastClock ? std::move(fastClock) : std::make_shared<FastWorkerClock>(kSpeedup);
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
