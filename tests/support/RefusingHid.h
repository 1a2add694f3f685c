#pragma once

#include "HidSystem.h"

#include <memory>
#include <string>
#include <vector>

// Two interfaces with the IDs vid_1209&pid_0001 that cannot be opened: hidraw5
// refuses this user, hidraw4 fails for some other reason.
class RefusingHid : public HidSystem {
public:
    bool listInterfaces(std::vector<HidInterface>& paths) override {
        paths = {{"/dev/hidraw4?vid_1209&pid_0001"}, {"/dev/hidraw5?vid_1209&pid_0001"}};
        return true;
    }
    HidOpenStatus open(const std::string& path, std::unique_ptr<HidConnection>&) override {
        return path.find("hidraw5") != std::string::npos ? HidOpenStatus::PermissionDenied
                                                          : HidOpenStatus::Failed;
    }
};
