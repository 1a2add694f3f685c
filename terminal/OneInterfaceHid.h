#pragma once

#include "HidSystem.h"

#include <memory>
#include <string>

// Another HID system seen through a keyhole: only the interface of one path is
// listed and may be opened. With it a worker updates exactly the device it was
// given (--device, and one worker per device in factory mode), whatever else with
// the same IDs is plugged.
class OneInterfaceHid : public HidSystem {
public:
    OneInterfaceHid(std::shared_ptr<HidSystem> system, std::string path);

    bool listInterfaces(std::vector<HidInterface>& interfaces) override;
    HidOpenStatus open(const std::string& path,
                       std::unique_ptr<HidConnection>& connection) override;

    // A name given by a person matches the whole path text, or its part before the
    // IDs the program adds on Linux ("/dev/hidraw3"); letter case aside, as Windows
    // paths come in either.
    static bool names(const std::string& path, const std::string& name);

private:
    std::shared_ptr<HidSystem> system_;
    const std::string path_;
};
