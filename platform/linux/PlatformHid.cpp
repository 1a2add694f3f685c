#include "PlatformHid.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Waits for events on fd until the deadline; false on time-out, error or hang-up.
bool waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - Clock::now())
                              .count();
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, left > 0 ? static_cast<int>(left) : 0);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        if (entry.revents & events)
            return true;
        return false; // POLLERR, POLLHUP, POLLNVAL: the device is gone
    }
}

class HidrawConnection : public HidConnection {
public:
    explicit HidrawConnection(int fd) : fd_(fd) {}
    ~HidrawConnection() override { ::close(fd_); }

    std::unique_ptr<HidConnection> duplicate() const override {
        const int copy = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
        return copy < 0 ? nullptr : std::make_unique<HidrawConnection>(copy);
    }

    // The time limit only bounds the wait before a write starts: hidraw always polls
    // as writable and its write() waits for the device itself, up to the kernel's
    // USB time-out of 5 s, whatever O_NONBLOCK says. No write starts after the
    // limit, so a stalled device holds one report for about 5 s, at most the limit
    // plus 5 s.
    bool write(const uint8_t (&transfer)[kHidTransferSize], int timeoutMs) override {
        // hidraw takes the report ID as the first byte of a write.
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline && waitFor(fd_, POLLOUT, deadline)) {
            const ssize_t written = ::write(fd_, transfer, kHidTransferSize);
            if (written == static_cast<ssize_t>(kHidTransferSize))
                return true;
            if (written >= 0 || (errno != EAGAIN && errno != EINTR))
                return false;
        }
        return false;
    }

    bool read(uint8_t (&transfer)[kHidTransferSize], int timeoutMs) override {
        // Devices without numbered reports deliver the 64 bytes without an ID.
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        uint8_t report[kHidTransferSize - 1];
        while (waitFor(fd_, POLLIN, deadline)) {
            const ssize_t got = ::read(fd_, report, sizeof report);
            if (got > 0) {
                std::memset(transfer, 0, kHidTransferSize);
                std::memcpy(transfer + 1, report, static_cast<size_t>(got));
                return true;
            }
            if (got == 0 || (errno != EAGAIN && errno != EINTR))
                return false;
        }
        return false;
    }

    int discardInput() override {
        // Bounded: a device that keeps sending must not hold the run here.
        int dropped = 0;
        uint8_t report[kHidTransferSize - 1];
        for (; dropped < kMaxDiscarded; ++dropped) {
            pollfd entry{fd_, POLLIN, 0};
            if (::poll(&entry, 1, 0) <= 0 || !(entry.revents & POLLIN) ||
                ::read(fd_, report, sizeof report) <= 0)
                break;
        }
        return dropped;
    }

    // flock belongs to the open file: duplicates share it, any other open of the
    // node (in this process or another) is refused.
    bool claimExclusive() override {
        for (;;) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0)
                return true;
            if (errno != EINTR)
                return false;
        }
    }

private:
    static constexpr int kMaxDiscarded = 256;
    int fd_;
};

struct Uevent {
    unsigned vendorId = 0, productId = 0;
    std::string serial;   // HID_UNIQ
    std::string location; // HID_PHYS without its "/inputN": shared by the unit's interfaces
};


// "HID_ID=0003:00001209:00000001" -> vendor 0x1209, product 0x0001; with the unit's
// serial ("HID_UNIQ=") and port ("HID_PHYS=usb-0000:00:14.0-1.2/input0").
bool parseUevent(const std::string& ueventPath, Uevent& uevent) {
    std::ifstream in(ueventPath);
    std::string line;
    bool ids = false;
    for (int lines = 0; lines < 64 && std::getline(in, line); ++lines) {
        if (line.rfind("HID_UNIQ=", 0) == 0) {
            uevent.serial = printableUnitText(line.substr(9));
        } else if (line.rfind("HID_PHYS=", 0) == 0) {
            std::string phys = line.substr(9);
            const size_t input = phys.rfind("/input");
            if (input != std::string::npos)
                phys.erase(input);
            uevent.location = printableUnitText(phys);
        } else if (line.rfind("HID_ID=", 0) == 0) {
            unsigned bus = 0;
            unsigned long vendor = 0, product = 0;
            char tail = 0;
            if (std::sscanf(line.c_str() + 7, "%x:%lx:%lx%c", &bus, &vendor, &product, &tail) != 3 ||
                vendor > 0xFFFF || product > 0xFFFF)
                return false;
            uevent.vendorId = static_cast<unsigned>(vendor);
            uevent.productId = static_cast<unsigned>(product);
            ids = true;
        }
    }
    return ids;
}

// hidraw2 before hidraw10.
bool nodeOrder(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

} // namespace

HidrawSystem::HidrawSystem() : HidrawSystem(Options{}) {}

HidrawSystem::HidrawSystem(Options options) : options_(std::move(options)) {
    if (!options_.openNode)
        options_.openNode = [](const std::string& node) {
            return ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        };
}

bool HidrawSystem::listInterfaces(std::vector<HidInterface>& interfaces) {
    interfaces.clear();
    DIR* dir = ::opendir(options_.sysfsRoot.c_str());
    if (!dir)
        return false;
    std::vector<std::string> nodes;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind("hidraw", 0) == 0 && nodes.size() < 1024)
            nodes.push_back(name);
    }
    ::closedir(dir);
    std::sort(nodes.begin(), nodes.end(), nodeOrder);

    for (const std::string& node : nodes) {
        Uevent uevent;
        if (!parseUevent(options_.sysfsRoot + "/" + node + "/device/uevent", uevent))
            continue;
        char ids[32];
        std::snprintf(ids, sizeof ids, "?vid_%04x&pid_%04x", uevent.vendorId, uevent.productId);
        interfaces.push_back({options_.devRoot + "/" + node + ids, uevent.serial, uevent.location});
    }
    return true;
}

HidOpenStatus HidrawSystem::open(const std::string& path,
                                 std::unique_ptr<HidConnection>& connection) {
    const std::string node = path.substr(0, path.find('?'));
    const int fd = options_.openNode(node);
    if (fd < 0)
        return openStatusOf(errno);
    connection = adopt(fd);
    return HidOpenStatus::Opened;
}

std::unique_ptr<HidConnection> HidrawSystem::adopt(int fd) {
    return std::make_unique<HidrawConnection>(fd);
}

std::shared_ptr<HidSystem> createPlatformHidSystem() {
    return std::make_shared<HidrawSystem>();
}

HidOpenStatus HidrawSystem::openStatusOf(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return HidOpenStatus::PermissionDenied;
    case EBUSY:
        return HidOpenStatus::Busy;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return HidOpenStatus::Gone;
    default:
        return HidOpenStatus::Failed;
    }
}

const char* hidAccessDeniedCause() {
    return "permission denied";
}

std::vector<std::string> hidAccessAdvice(const std::string& path, uint16_t vendorId,
                                         uint16_t productId) {
    return {"The device is connected, but this user may not open " +
                path.substr(0, path.find('?')) + " (permission denied).",
            "To allow it, put this line in /etc/udev/rules.d/70-quorix-updater.rules,",
            "then run 'sudo udevadm control --reload' and reconnect the device:",
            udevRule(vendorId, productId)};
}
