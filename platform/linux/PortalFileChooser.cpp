#include "PortalFileChooser.h"

#include "UriList.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <unistd.h>
#include <vector>

#include <systemd/sd-bus.h>

namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";

uint64_t nowUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000 + uint64_t(now.tv_nsec) / 1000;
}

uint64_t deadlineAfter(std::chrono::milliseconds timeout) {
    return nowUs() + uint64_t(std::max<int64_t>(timeout.count(), 0)) * 1000;
}

// Microseconds left until `deadline`; 0 once it has passed (sd-bus reads 0 as
// "its own default", so callers check for it first).
uint64_t leftUntil(uint64_t deadline) {
    const uint64_t now = nowUs();
    return deadline > now ? deadline - now : 0;
}

// The session bus once it has greeted us, or null. sd-bus would wait for the
// greeting without a limit of ours (a stuck bus holds it for a minute and more), so
// the wait is done here. Closed unflushed on failure: flushing waits too.
sd_bus* connectSessionBus(uint64_t deadline) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return nullptr;
    for (;;) {
        int r = sd_bus_is_ready(bus);
        if (r > 0) return bus;
        if (r == 0) r = sd_bus_process(bus, nullptr);
        if (r < 0) break;
        if (r > 0) continue;
        const uint64_t left = leftUntil(deadline);
        if (left == 0 || sd_bus_wait(bus, left) < 0) break;
    }
    sd_bus_close_unref(bus);
    return nullptr;
}

// Patterns of one filter entry: "*.a;*.b" lists several.
std::vector<std::string> splitPatterns(const std::string& patterns) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= patterns.size()) {
        const size_t end = std::min(patterns.find(';', start), patterns.size());
        if (end > start) parts.push_back(patterns.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// One filter as the portal takes it: (name, [(0 = glob, pattern)]).
int appendFilter(sd_bus_message* m, const std::pair<std::string, std::string>& filter) {
    int r = sd_bus_message_open_container(m, 'r', "sa(us)");
    if (r >= 0) r = sd_bus_message_append(m, "s", filter.first.c_str());
    if (r >= 0) r = sd_bus_message_open_container(m, 'a', "(us)");
    for (const std::string& pattern : splitPatterns(filter.second))
        if (r >= 0) r = sd_bus_message_append(m, "(us)", 0u, pattern.c_str());
    if (r >= 0) r = sd_bus_message_close_container(m);
    if (r >= 0) r = sd_bus_message_close_container(m);
    return r;
}

int appendOptions(sd_bus_message* m, const std::string& token, const FileDialogRequest& request) {
    int r = sd_bus_message_open_container(m, 'a', "{sv}");
    if (r >= 0) r = sd_bus_message_append(m, "{sv}", "handle_token", "s", token.c_str());
    if (r >= 0) r = sd_bus_message_append(m, "{sv}", "modal", "b", 1);
    if (r >= 0) r = sd_bus_message_append(m, "{sv}", "multiple", "b", 0);
    if (r >= 0 && !request.filters.empty()) {
        r = sd_bus_message_open_container(m, 'e', "sv");
        if (r >= 0) r = sd_bus_message_append(m, "s", "filters");
        if (r >= 0) r = sd_bus_message_open_container(m, 'v', "a(sa(us))");
        if (r >= 0) r = sd_bus_message_open_container(m, 'a', "(sa(us))");
        for (const auto& filter : request.filters)
            if (r >= 0) r = appendFilter(m, filter);
        if (r >= 0) r = sd_bus_message_close_container(m);
        if (r >= 0) r = sd_bus_message_close_container(m);
        if (r >= 0) r = sd_bus_message_close_container(m);
        if (r >= 0) r = sd_bus_message_open_container(m, 'e', "sv");
        if (r >= 0) r = sd_bus_message_append(m, "s", "current_filter");
        if (r >= 0) r = sd_bus_message_open_container(m, 'v', "(sa(us))");
        if (r >= 0) r = appendFilter(m, request.filters.front());
        if (r >= 0) r = sd_bus_message_close_container(m);
        if (r >= 0) r = sd_bus_message_close_container(m);
    }
    if (r >= 0 && !request.initialDirectory.empty()) {
        // A byte string with its terminating NUL.
        r = sd_bus_message_open_container(m, 'e', "sv");
        if (r >= 0) r = sd_bus_message_append(m, "s", "current_folder");
        if (r >= 0) r = sd_bus_message_open_container(m, 'v', "ay");
        if (r >= 0)
            r = sd_bus_message_append_array(m, 'y', request.initialDirectory.c_str(),
                                            request.initialDirectory.size() + 1);
        if (r >= 0) r = sd_bus_message_close_container(m);
        if (r >= 0) r = sd_bus_message_close_container(m);
    }
    if (r >= 0) r = sd_bus_message_close_container(m);
    return r;
}

// The request object the portal will create for our token: the sender's unique
// name without ':' and with '.' as '_'. Watching it before the call means a quick
// answer cannot slip by.
std::string requestPathFor(const char* uniqueName, const std::string& token) {
    std::string sender = uniqueName[0] == ':' ? uniqueName + 1 : uniqueName;
    for (char& c : sender)
        if (c == '.') c = '_';
    return std::string(kPortalPath) + "/request/" + sender + "/" + token;
}

} // namespace

struct PortalFileChooser::Callbacks {
    static int onResponse(sd_bus_message* message, void* self, sd_bus_error*);
    static int onOwnerChanged(sd_bus_message* message, void* self, sd_bus_error*);
};

std::unique_ptr<PortalFileChooser> PortalFileChooser::open(const std::string& parentWindow,
                                                           const FileDialogRequest& request,
                                                           std::chrono::milliseconds callTimeout) {
    const uint64_t deadline = deadlineAfter(callTimeout);
    std::unique_ptr<PortalFileChooser> chooser(new PortalFileChooser);
    chooser->bus_ = connectSessionBus(deadline);
    if (!chooser->bus_) return nullptr;
    const char* unique = nullptr;
    if (sd_bus_get_unique_name(chooser->bus_, &unique) < 0) return nullptr;
    static std::atomic<unsigned> counter{0};
    const std::string token = "quorix" + std::to_string(getpid()) + "_" + std::to_string(++counter);
    chooser->requestPath_ = requestPathFor(unique, token);
    // The sender is checked in onResponse; a well-known name here would never match
    // the portal's unique one.
    if (sd_bus_match_signal(chooser->bus_, &chooser->match_, nullptr, chooser->requestPath_.c_str(),
                            kRequestInterface, "Response", Callbacks::onResponse, chooser.get()) < 0)
        return nullptr;

    // A portal that goes away would never answer. Watched before the call: one that
    // answers and leaves at once must not slip by.
    const std::string ownerRule = "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
                                  "member='NameOwnerChanged',arg0='" + std::string(kPortal) + "'";
    if (sd_bus_add_match(chooser->bus_, &chooser->ownerMatch_, ownerRule.c_str(), Callbacks::onOwnerChanged,
                         chooser.get()) < 0)
        return nullptr;

    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_message_new_method_call(chooser->bus_, &call, kPortal, kPortalPath,
                                           "org.freedesktop.portal.FileChooser", "OpenFile");
    if (r >= 0) r = sd_bus_message_append(call, "ss", parentWindow.c_str(), request.title.c_str());
    if (r >= 0) r = appendOptions(call, token, request);
    const uint64_t left = leftUntil(deadline);
    if (r >= 0) r = left == 0 ? -ETIMEDOUT : sd_bus_call(chooser->bus_, call, left, &error, &reply);
    sd_bus_message_unref(call);
    sd_bus_error_free(&error);
    const char* handle = nullptr;
    if (r >= 0) r = sd_bus_message_read(reply, "o", &handle);
    if (r >= 0) {
        if (const char* sender = sd_bus_message_get_sender(reply)) chooser->portalOwner_ = sender;
        if (handle != chooser->requestPath_) {
            // An older portal names the request its own way.
            chooser->match_ = sd_bus_slot_unref(chooser->match_);
            chooser->requestPath_ = handle;
            r = sd_bus_match_signal(chooser->bus_, &chooser->match_, nullptr, handle, kRequestInterface,
                                    "Response", Callbacks::onResponse, chooser.get());
        }
    }
    sd_bus_message_unref(reply);
    if (r < 0 || chooser->portalOwner_.empty()) return nullptr;
    return chooser;
}

bool PortalFileChooser::available(std::chrono::milliseconds timeout) {
    const uint64_t deadline = deadlineAfter(timeout);
    sd_bus* bus = connectSessionBus(deadline);
    if (!bus) return false;
    // Asking the portal's object starts a portal the bus knows how to start; one
    // without a file chooser backend does not list the interface.
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_message_new_method_call(bus, &call, kPortal, kPortalPath, "org.freedesktop.DBus.Introspectable",
                                           "Introspect");
    const uint64_t left = leftUntil(deadline);
    if (r >= 0) r = left == 0 ? -ETIMEDOUT : sd_bus_call(bus, call, left, &error, &reply);
    const char* xml = nullptr;
    if (r >= 0) r = sd_bus_message_read(reply, "s", &xml);
    const bool offered = r >= 0 && xml && std::strstr(xml, "\"org.freedesktop.portal.FileChooser\"");
    sd_bus_message_unref(call);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    sd_bus_close_unref(bus);
    return offered;
}

PortalFileChooser::~PortalFileChooser() {
    if (bus_ && !ended_ && !requestPath_.empty()) {
        sd_bus_message* close = nullptr;
        if (sd_bus_message_new_method_call(bus_, &close, kPortal, requestPath_.c_str(), kRequestInterface,
                                           "Close") >= 0) {
            sd_bus_message_set_expect_reply(close, 0);
            sd_bus_send(bus_, close, nullptr);
        }
        sd_bus_message_unref(close);
    }
    sd_bus_slot_unref(match_);
    sd_bus_slot_unref(ownerMatch_);
    sd_bus_flush_close_unref(bus_);
}

int PortalFileChooser::Callbacks::onResponse(sd_bus_message* message, void* self, sd_bus_error*) {
    auto* chooser = static_cast<PortalFileChooser*>(self);
    const char* sender = sd_bus_message_get_sender(message);
    if (!chooser->ended_ && sender && chooser->portalOwner_ == sender) chooser->takeResponse(message);
    return 0;
}

int PortalFileChooser::Callbacks::onOwnerChanged(sd_bus_message* message, void* self, sd_bus_error*) {
    auto* chooser = static_cast<PortalFileChooser*>(self);
    const char *name = nullptr, *before = nullptr, *after = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &before, &after) >= 0 && before &&
        chooser->portalOwner_ == before)
        chooser->end(); // gone without an answer: nothing was chosen
    return 0;
}

void PortalFileChooser::takeResponse(sd_bus_message* message) {
    end();
    uint32_t response = 2;
    if (sd_bus_message_read(message, "u", &response) < 0 || response != 0)
        return; // 1: cancelled, 2: ended some other way
    if (sd_bus_message_enter_container(message, 'a', "{sv}") <= 0) return;
    while (sd_bus_message_enter_container(message, 'e', "sv") > 0) {
        const char* key = nullptr;
        if (sd_bus_message_read(message, "s", &key) < 0) return;
        const char* contents = nullptr;
        if (std::strcmp(key, "uris") == 0 && sd_bus_message_peek_type(message, nullptr, &contents) > 0 &&
            std::strcmp(contents, "as") == 0) {
            char** uris = nullptr;
            if (sd_bus_message_enter_container(message, 'v', "as") <= 0 ||
                sd_bus_message_read_strv(message, &uris) < 0)
                return;
            // One file was asked for; more, or one that is not local, chooses nothing.
            if (uris && uris[0] && !uris[1]) {
                std::string path = localPathOfUri(uris[0]);
                if (!path.empty()) answer_ = std::move(path);
            }
            for (char** uri = uris; uri && *uri; ++uri)
                free(*uri);
            free(uris);
            return;
        }
        if (sd_bus_message_skip(message, "v") < 0 || sd_bus_message_exit_container(message) < 0) return;
    }
}

void PortalFileChooser::end() {
    ended_ = true;
}

int PortalFileChooser::fd() const {
    return sd_bus_get_fd(bus_);
}

short PortalFileChooser::events() const {
    const int events = sd_bus_get_events(bus_);
    return events < 0 ? 0 : short(events);
}

int PortalFileChooser::timeoutMs() const {
    uint64_t deadline = 0;
    if (sd_bus_get_timeout(bus_, &deadline) < 0 || deadline == UINT64_MAX) return -1;
    return int(std::min<uint64_t>((leftUntil(deadline) + 999) / 1000, 1 << 30));
}

bool PortalFileChooser::service() {
    while (!ended_) {
        const int r = sd_bus_process(bus_, nullptr);
        if (r < 0) end(); // the bus is gone
        if (r <= 0) break;
    }
    return ended_;
}

void PortalFileChooser::wait() {
    while (!service())
        if (sd_bus_wait(bus_, UINT64_MAX) < 0) end();
}
