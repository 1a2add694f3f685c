// The change queue between parameters and controls: how many changes another
// thread can queue per second while the interface drains, and what a full refresh
// of 1,000 bound controls costs.
#include "CCPageObject.h"
#include "CParameterManager.h"
#include "CVSProcess.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Bound : CCPageObject {
    explicit Bound(uint32_t type) : CCPageObject(0, 0, 1, 1, nullptr, type, 0) {}
    int handleMessage(CCMsg* msg) override {
        last = msg->value;
        return 1;
    }
    float last = 0;
};

struct Rig {
    explicit Rig(int count) : manager(count) {
        struct Queue : CVSProcess {
            explicit Queue(CParameterManager* m) : m_(m) {}
            void AttachManager() override { setManager(m_); }
            CParameterManager* m_;
        };
        queue = std::make_unique<Queue>(&manager);
        manager.setChangeQueue(queue.get());
        for (int i = 0; i < count; ++i) {
            parameters.push_back(std::make_unique<PARAMETER>(i, &manager, 0.5f, 0, 1, 0, 0));
            auto* object = new Bound(uint32_t(i));
            root.addChild(object);
        }
        queue->setRoot(&root);
        queue->Attach();
    }
    CParameterManager manager;
    std::unique_ptr<CVSProcess> queue;
    std::vector<std::unique_ptr<PARAMETER>> parameters;
    CCPageObject root{0, 0, 1, 1};
};

// One thread changes parameters as fast as it can; the interface thread drains.
void BM_QueueFromAnotherThread(benchmark::State& state) {
    Rig rig(64);
    std::atomic<bool> stop{false};
    std::thread drainer([&] {
        while (!stop.load(std::memory_order_relaxed))
            rig.queue->Drain();
    });
    int i = 0;
    for (auto _ : state) {
        PARAMETER& p = *rig.parameters[size_t(i++ & 63)];
        std::lock_guard<CCLock> hold(rig.queue->lock());
        p.SetValue(float(i & 1023) / 1023.0f);
        p.Notify();
    }
    stop = true;
    drainer.join();
    rig.queue->Drain();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QueueFromAnotherThread)->UseRealTime();

// A full refresh: every bound control gets its value.
void BM_FullRefreshOfBoundControls(benchmark::State& state) {
    Rig rig(int(state.range(0)));
    for (auto _ : state) {
        rig.queue->Queue(CVSProcess::kFullRefresh);
        rig.queue->Drain();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FullRefreshOfBoundControls)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace
