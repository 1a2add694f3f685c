#pragma once

#include "HidSystem.h"
#include "SimulatedDevice.h"
#include "SimulatedDeviceConfig.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// HID devices that exist only in this process: one or more simulated devices with
// the configured IDs, reached through connections that behave like real ones
// (a report takes the configured latency; a write to a device that went away
// fails, a read stalls until its time limit and is then cancelled).
class SimulatedHidSystem : public HidSystem {
public:
    explicit SimulatedHidSystem(const SimulatedDeviceConfig& config);
    // Each configuration's count of devices, in order; the index runs across all.
    explicit SimulatedHidSystem(const std::vector<SimulatedDeviceConfig>& configs);
    ~SimulatedHidSystem() override;

    bool listInterfaces(std::vector<HidInterface>& interfaces) override;
    HidOpenStatus open(const std::string& path,
                       std::unique_ptr<HidConnection>& connection) override;

    // ---- For tests and the demo ----
    size_t deviceCount() const;
    // The path of the device's first interface (the one that answers).
    std::string path(size_t index) const;
    bool present(size_t index) const;
    // Takes the device away; it returns after replugAfterMs (never when negative).
    void unplug(size_t index, int replugAfterMs = -1);
    // Runs inspect with the device while nothing else touches it.
    void withDevice(size_t index, const std::function<void(const SimulatedDevice&)>& inspect) const;
    // Transfers that hit their time limit and were cancelled.
    int cancelledTransfers(size_t index) const;
    // Called on the host's thread after each report the device took in.
    void setObserver(std::function<void(size_t index, const SimulatedDevice::Request&)> observer);

    struct Unit; // one simulated device and its plug state

private:
    std::vector<std::shared_ptr<Unit>> units_;
};
