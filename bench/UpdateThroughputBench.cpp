// A 256 KiB image written to the simulated device. With no latency the figure is
// the CPU the host spends per report (the simulated device's own work included, so
// it is an upper bound); with 1 ms per report, how close the run comes to the bus
// time alone (reports x 1 ms).
#include "CFirmwareUpdater.h"
#include "DeviceSearch.h"
#include "QfuPacker.h"
#include "SimulatedHid.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace {

constexpr size_t kImageSize = 256 * 1024;
constexpr uint32_t kBlockSize = 256;
// One information exchange, then per block: start, ceil(256/48) data packets, ack.
constexpr double kReportsPerRun =
    2 + (kImageSize / kBlockSize) * (1.0 + (kBlockSize + 47) / 48 + 1.0);

struct Rig {
    explicit Rig(int latencyMs) {
        SimulatedDeviceConfig config;
        config.blockSize = kBlockSize;
        config.latencyMs = latencyMs;
        config.restartMs = 0;
        hid = std::make_shared<SimulatedHidSystem>(config);
        qfu::PackOptions options;
        options.image = qfu::randomImage(kImageSize, 11);
        path = (std::filesystem::temp_directory_path() / "quorix-bench-throughput.qfu").string();
        const std::vector<uint8_t> file = qfu::pack(options);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
        updater = std::make_unique<CFirmwareUpdater>(hid);
        updater->loadFile(path.c_str());
    }
    ~Rig() {
        updater.reset();
        closeOpenDeviceList();
        std::filesystem::remove(path);
    }

    bool run() {
        updater->closeDevice(); // the device restarts after each update: reopen it
        std::atomic<int> progress{0};
        return updater->runUpdate(progress);
    }

    std::shared_ptr<SimulatedHidSystem> hid;
    std::unique_ptr<CFirmwareUpdater> updater;
    std::string path;
};

void BM_HostCpuPerReport(benchmark::State& state) {
    Rig rig(0);
    double cpuSeconds = 0;
    for (auto _ : state) {
        const std::clock_t start = std::clock();
        if (!rig.run())
            state.SkipWithError("update failed");
        cpuSeconds += static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    }
    const double reports = kReportsPerRun * static_cast<double>(state.iterations());
    state.counters["reports_per_run"] = kReportsPerRun;
    state.counters["cpu_us_per_report"] = cpuSeconds * 1e6 / reports;
}
BENCHMARK(BM_HostCpuPerReport)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_FullSpeedBus(benchmark::State& state) {
    Rig rig(1);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!rig.run())
            state.SkipWithError("update failed");
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["ideal_ms"] = kReportsPerRun;
        state.counters["actual_ms"] = seconds * 1000;
        state.counters["over_ideal_pct"] = (seconds * 1000 / kReportsPerRun - 1) * 100;
    }
}
BENCHMARK(BM_FullSpeedBus)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace
