#include "FirmwareVersion.h"

#include <cstdio>

std::string FirmwareVersion::text() const {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%01d.%01d.%02d", major, minor, build);
    return buffer;
}
