#include "OneInterfaceHid.h"

#include <algorithm>
#include <cctype>

OneInterfaceHid::OneInterfaceHid(std::shared_ptr<HidSystem> system, std::string path)
    : system_(std::move(system)), path_(std::move(path)) {}

namespace {

bool sameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

bool OneInterfaceHid::names(const std::string& path, const std::string& name) {
    if (name.empty())
        return false;
    // Only the IDs a Linux path carries after its node may be left out; a Windows
    // path has a '?' of its own near its start ("\\?\hid#..."), which cuts nothing.
    const size_t ids = path.rfind("?vid_");
    return sameText(path, name) || (ids != std::string::npos && sameText(path.substr(0, ids), name));
}

bool OneInterfaceHid::listInterfaces(std::vector<HidInterface>& interfaces) {
    if (!system_->listInterfaces(interfaces))
        return false;
    std::erase_if(interfaces, [this](const HidInterface& entry) { return !names(entry.path, path_); });
    return true;
}

HidOpenStatus OneInterfaceHid::open(const std::string& path,
                                    std::unique_ptr<HidConnection>& connection) {
    if (!names(path, path_))
        return HidOpenStatus::Failed;
    return system_->open(path, connection);
}
