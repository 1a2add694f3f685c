#pragma once

#include <functional>
#include <string>

// The framework's diagnostic trace. Texts go to a sink that discards them unless a
// test installs its own.
void debugTrace(const char* format, ...);
// Returns the previous sink; an empty function discards.
std::function<void(const std::string&)> setTraceSink(std::function<void(const std::string&)> sink);
