#include "OneInterfaceHid.h"

#include <algorithm>

OneInterfaceHid::OneInterfaceHid(std::shared_ptr<HidSystem> system, std::string path)
    : system_(std::move(system)), path_(std::move(path)) {}

bool OneInterfaceHid::names(const std::string& path, const std::string& name) {
    return !name.empty() && (path == name || path.substr(0, path.find('?')) == name);
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
