#include "Trace.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

std::mutex& sinkLock() {
    static std::mutex lock;
    return lock;
}

std::function<void(const std::string&)>& sink() {
    static std::function<void(const std::string&)> current;
    return current;
}

} // namespace

void debugTrace(const char* format, ...) {
    std::lock_guard<std::mutex> guard(sinkLock());
    if (!sink())
        return;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    sink()(text);
}

std::function<void(const std::string&)> setTraceSink(std::function<void(const std::string&)> next) {
    std::lock_guard<std::mutex> guard(sinkLock());
    std::swap(sink(), next);
    return next;
}
