// How fast an update file is checked and loaded: the whole file is checksummed on
// every load, and the block CRC runs once per block during an update.
#include "CFirmwareUpdater.h"
#include "Checksums.h"
#include "QfuPacker.h"
#include "SignaturePolicy.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>

static void BM_FileChecksum(benchmark::State& state) {
    const std::vector<uint8_t> data = qfu::randomImage(static_cast<size_t>(state.range(0)), 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(fileChecksum(data.data(), data.size()));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FileChecksum)->Arg(256)->Arg(64 * 1024)->Arg(1024 * 1024);

static void BM_BlockCrc(benchmark::State& state) {
    const std::vector<uint8_t> data = qfu::randomImage(static_cast<size_t>(state.range(0)), 2);
    for (auto _ : state)
        benchmark::DoNotOptimize(blockCrc(data.data(), data.size() / 4));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BlockCrc)->Arg(256)->Arg(4096);

static void BM_LoadFile(benchmark::State& state) {
    qfu::PackOptions options;
    options.image = qfu::randomImage(static_cast<size_t>(state.range(0)), 3);
    const std::vector<uint8_t> file = qfu::pack(options);
    const auto path = std::filesystem::temp_directory_path() / "quorix-bench-load.qfu";
    {
        std::FILE* out = std::fopen(path.string().c_str(), "wb");
        std::fwrite(file.data(), 1, file.size(), out);
        std::fclose(out);
    }
    CFirmwareUpdater updater;
    for (auto _ : state)
        if (!updater.loadFile(path.string().c_str()))
            state.SkipWithError("load failed");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
    std::filesystem::remove(path);
}
BENCHMARK(BM_LoadFile)->Arg(64 * 1024)->Arg(1024 * 1024);

// What a trusted key adds to every load: BLAKE2b-512 of the whole file and one
// Ed25519 check (minisign's own signature and key; over other bytes the check fails
// at the same cost, less the small check of the trusted comment).
static void BM_SignatureCheck(benchmark::State& state) {
    const std::string data = QUORIX_SIGNATURE_DATA;
    auto policy = std::make_shared<SignaturePolicy>();
    policy->addKeyFile(data + "/maker.pub");
    std::string error;
    const std::optional<std::string> signature = readSmallFile(data + "/fw.qfu.minisig", error);
    const std::vector<uint8_t> file = qfu::randomImage(static_cast<size_t>(state.range(0)), 4);
    for (auto _ : state)
        benchmark::DoNotOptimize(policy->check(file.data(), file.size(), signature));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SignatureCheck)->Arg(64 * 1024)->Arg(1024 * 1024)->Arg(16 * 1024 * 1024);
