#include "OneInterfaceHid.h"

#include <algorithm>

OneInterfaceHid::OneInterfaceHid(std::shared_ptr<HidSystem> system, std::string path)
    : system_(std::move(system)), path_(std::move(path)) {}

bool OneInterfaceHid::names(const std::string& path, const std::string& name) {
    return !name.empty() && (path == name || path.substr(0, path.find('?')) == name);
}

bool OneInterfaceHid::listInterfaces(std::vector<std::string>& paths) {
    if (!system_->listInterfaces(paths))
        return false;
    std::erase_if(paths, [this](const std::string& path) { return !names(path, path_); });
    return true;
}

HidOpenStatus OneInterfaceHid::open(const std::string& path,
                                    std::unique_ptr<HidConnection>& connection) {
    if (!names(path, path_))
        return HidOpenStatus::Failed;
    return system_->open(path, connection);
}
