#include "HidSystem.h"

#include <cstdio>

// Portable: the rule is also printed on request on an OS that has no udev.
std::string udevRule(uint16_t vendorId, uint16_t productId) {
    char rule[160];
    std::snprintf(rule, sizeof rule,
                  "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"%04x\", ATTRS{idProduct}==\"%04x\", "
                  "TAG+=\"uaccess\"",
                  vendorId, productId);
    return rule;
}
