// Device replies and host requests are external input on either side of the HID
// link. The first byte picks a side; the rest is a stream of 64-byte reports:
//  - even: replies handed to the host's protocol during a whole update run;
//  - odd:  requests handed to the simulated device's parser.
#include "CFirmwareUpdater.h"
#include "Checksums.h"
#include "DeviceProtocol.h"
#include "DeviceSearch.h"
#include "HidSystem.h"
#include "SimulatedDevice.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// One interface whose reads return the fuzz input, 64 bytes at a time. Once the
// input is used up it answers with a well-formed refusal, so every run ends fast.
class ReplyStream : public HidSystem {
public:
    ReplyStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool listInterfaces(std::vector<HidInterface>& paths) override {
        paths = {{"fuzz?vid_1209&pid_0001"}};
        return true;
    }
    HidOpenStatus open(const std::string&, std::unique_ptr<HidConnection>& connection) override {
        connection = std::make_unique<Connection>(*this);
        return HidOpenStatus::Opened;
    }

private:
    struct Connection : HidConnection {
        explicit Connection(ReplyStream& source) : stream(source) {}
        std::unique_ptr<HidConnection> duplicate() const override {
            return std::make_unique<Connection>(stream);
        }
        bool write(const uint8_t (&)[kHidTransferSize], int) override { return true; }
        int discardInput() override { return 0; } // replies come only when read
        bool claimExclusive() override { return true; }
        bool read(uint8_t (&transfer)[kHidTransferSize], int) override {
            transfer[0] = 0;
            if (stream.offset_ + kReportSize <= stream.size_) {
                std::memcpy(transfer + 1, stream.data_ + stream.offset_, kReportSize);
                stream.offset_ += kReportSize;
                return true;
            }
            uint8_t refusal[kReportSize];
            const uint8_t data[5] = {0x09, 0x12, 0x01, 0x00, 2};
            frameReport(refusal, data, sizeof data);
            std::memcpy(transfer + 1, refusal, kReportSize);
            return true;
        }
        ReplyStream& stream;
    };

    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

std::vector<uint8_t> smallUpdateFile() {
    std::vector<uint8_t> file(56 + 1024, 0);
    std::memcpy(file.data(), "QUORIXFW", 8);
    file[12] = 0x09, file[13] = 0x12, file[14] = 0x01;
    file[53] = 0x04; // image length 1024
    for (size_t i = 56; i < file.size(); ++i)
        file[i] = static_cast<uint8_t>(i * 7);
    const uint32_t sum = fileChecksum(file.data() + 12, file.size() - 12);
    for (int i = 0; i < 4; ++i)
        file[8 + size_t(i)] = static_cast<uint8_t>(sum >> (8 * i));
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const bool deviceSide = data[0] & 1;
    ++data;
    --size;
    if (deviceSide) {
        SimulatedDeviceConfig config;
        config.blockSize = 64;
        SimulatedDevice device(config);
        for (size_t at = 0; at + kReportSize <= size; at += kReportSize) {
            uint8_t report[kReportSize];
            std::memcpy(report, data + at, kReportSize);
            device.receive(report);
        }
        return 0;
    }
    static const std::vector<uint8_t> file = smallUpdateFile();
    CFirmwareUpdater updater(std::make_shared<ReplyStream>(data, size));
    std::vector<uint8_t> copy = file;
    if (!updater.loadFromStream(fmemopen(copy.data(), copy.size(), "rb")))
        std::abort();
    std::atomic<int> progress{0};
    updater.runUpdate(progress);
    if (progress < 0 || progress > 100)
        std::abort();
    updater.teardown();
    closeOpenDeviceList();
    return 0;
}
