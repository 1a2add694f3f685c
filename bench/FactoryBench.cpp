// Factory mode: how long a bench of devices takes against a single device. Each
// simulated device moves one report per millisecond on its own bus, as real USB
// devices on their own ports do, so with one worker per device four devices
// should take about as long as one.
#include "DeviceSearch.h"
#include "FactoryWatch.h"
#include "QfuPacker.h"
#include "RunReporter.h"
#include "SimulatedHid.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <thread>

namespace {

constexpr size_t kImageSize = 64 * 1024; // 256 blocks of 256 bytes: about 2 s of bus time

std::string writeFile() {
    qfu::PackOptions options;
    options.image = qfu::randomImage(kImageSize, 17);
    const std::string path =
        (std::filesystem::temp_directory_path() / "quorix-bench-factory.qfu").string();
    const std::vector<uint8_t> file = qfu::pack(options);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return path;
}

// Seconds from the start of the watch until every device was updated.
double benchSeconds(int devices, const std::string& file) {
    SimulatedDeviceConfig config;
    config.blockSize = 256;
    config.latencyMs = 1;
    auto hid = std::make_shared<SimulatedHidSystem>(std::vector<SimulatedDeviceConfig>(devices, config));
    WatchSettings settings;
    settings.filePath = file;
    settings.identity = "vid_1209&pid_0001";
    std::ostream nowhere(nullptr);
    RunReporter reporter(nowhere, nowhere, false, RunReporter::Mode::Watch);
    const auto start = std::chrono::steady_clock::now();
    {
        FactoryWatch watch(hid, settings, reporter);
        if (!watch.begin())
            return -1;
        while (watch.summary().updated + watch.summary().failed < devices) {
            watch.step();
            std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the program's own tick
        }
        if (watch.summary().failed != 0)
            return -1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    closeOpenDeviceList();
    return seconds;
}

void BM_FactoryDevicesAtOnce(benchmark::State& state) {
    const std::string file = writeFile();
    const int devices = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const double seconds = benchSeconds(devices, file);
        if (seconds < 0)
            state.SkipWithError("an update failed");
        state.SetIterationTime(seconds);
    }
    state.counters["devices"] = devices;
    std::filesystem::remove(file);
}
BENCHMARK(BM_FactoryDevicesAtOnce)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

// The ratio the factory bench is held to: four devices at once against one.
void BM_FourDevicesAgainstOne(benchmark::State& state) {
    const std::string file = writeFile();
    for (auto _ : state) {
        const double one = benchSeconds(1, file);
        const double four = benchSeconds(4, file);
        if (one < 0 || four < 0)
            state.SkipWithError("an update failed");
        state.SetIterationTime(four);
        state.counters["one_device_s"] = one;
        state.counters["four_devices_s"] = four;
        state.counters["ratio"] = four / one;
    }
    std::filesystem::remove(file);
}
BENCHMARK(BM_FourDevicesAgainstOne)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace
