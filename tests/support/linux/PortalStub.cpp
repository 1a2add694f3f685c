// A desktop portal's file chooser for the tests, on whatever session bus
// DBUS_SESSION_BUS_ADDRESS names: it takes org.freedesktop.portal.Desktop, logs each
// OpenFile call and answers from a file read at each call:
//   file:///...   chosen (sent as the request's single URI)
//   cancel        the user cancelled
//   hold          no answer yet: read again every 50 ms until it says something else
//   vanish        leave the bus without answering
//
//   portal-stub ANSWER_FILE LOG_FILE
// Prints "ready" once it owns the name.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <systemd/sd-bus.h>

namespace {

const char* gAnswerFile = nullptr;
const char* gLogFile = nullptr;

struct Pending {
    std::string handle;
    bool active = false;
} gPending;
bool gVanish = false;

std::string readAnswer() {
    std::ifstream in(gAnswerFile);
    std::string line;
    std::getline(in, line);
    return line;
}

void log(const std::string& line) {
    std::ofstream out(gLogFile, std::ios::app);
    out << line << '\n';
}

int respond(sd_bus* bus, const std::string& handle, const std::string& answer) {
    sd_bus_message* signal = nullptr;
    int r = sd_bus_message_new_signal(bus, &signal, handle.c_str(), "org.freedesktop.portal.Request", "Response");
    const bool chosen = answer.rfind("file://", 0) == 0;
    if (r >= 0) r = sd_bus_message_append(signal, "u", chosen ? 0u : 1u);
    if (r >= 0) r = sd_bus_message_open_container(signal, 'a', "{sv}");
    if (r >= 0 && chosen) r = sd_bus_message_append(signal, "{sv}", "uris", "as", 1, answer.c_str());
    if (r >= 0) r = sd_bus_message_close_container(signal);
    if (r >= 0) r = sd_bus_send(bus, signal, nullptr);
    sd_bus_message_unref(signal);
    return r;
}

// Reads the options a{sv}: the token, modal, and the first filter as "name:pattern,...".
int readOptions(sd_bus_message* m, std::string& token, std::string& filter, int& modal) {
    int r = sd_bus_message_enter_container(m, 'a', "{sv}");
    while (r >= 0 && (r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* key = nullptr;
        r = sd_bus_message_read(m, "s", &key);
        if (r < 0) break;
        if (std::strcmp(key, "handle_token") == 0) {
            const char* value = nullptr;
            r = sd_bus_message_read(m, "v", "s", &value);
            if (r >= 0) token = value;
        } else if (std::strcmp(key, "modal") == 0) {
            r = sd_bus_message_read(m, "v", "b", &modal);
        } else if (std::strcmp(key, "filters") == 0 && filter.empty()) {
            r = sd_bus_message_enter_container(m, 'v', "a(sa(us))");
            if (r >= 0) r = sd_bus_message_enter_container(m, 'a', "(sa(us))");
            if (r > 0) r = sd_bus_message_enter_container(m, 'r', "sa(us)");
            const char* name = nullptr;
            if (r > 0) r = sd_bus_message_read(m, "s", &name);
            if (r >= 0 && name) {
                filter = name;
                filter += ':';
                r = sd_bus_message_enter_container(m, 'a', "(us)");
                uint32_t kind = 0;
                const char* pattern = nullptr;
                bool first = true;
                while (r >= 0 && (r = sd_bus_message_read(m, "(us)", &kind, &pattern)) > 0) {
                    if (!first) filter += ',';
                    filter += std::to_string(kind);
                    filter += ' ';
                    filter += pattern;
                    first = false;
                }
                if (r >= 0) r = sd_bus_message_exit_container(m); // a(us)
                if (r >= 0) r = sd_bus_message_exit_container(m); // the struct
            }
            // The other filters and the containers' ends.
            while (r >= 0 && (r = sd_bus_message_skip(m, "(sa(us))")) > 0) {
            }
            if (r >= 0) r = sd_bus_message_exit_container(m);
            if (r >= 0) r = sd_bus_message_exit_container(m);
        } else {
            r = sd_bus_message_skip(m, "v");
        }
        if (r >= 0) r = sd_bus_message_exit_container(m);
    }
    return r < 0 ? r : sd_bus_message_exit_container(m);
}

int openFile(sd_bus_message* m, void*, sd_bus_error* error) {
    const char *parent = nullptr, *title = nullptr;
    int r = sd_bus_message_read(m, "ss", &parent, &title);
    std::string token, filter;
    int modal = 0;
    if (r >= 0) r = readOptions(m, token, filter, modal);
    if (r < 0) return sd_bus_error_set_errno(error, -r);
    log(std::string("parent=") + parent + " title=" + title + " filter=" + filter +
        " modal=" + std::to_string(modal));
    std::string sender = sd_bus_message_get_sender(m) + 1;
    for (char& c : sender)
        if (c == '.') c = '_';
    const std::string handle = "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
    r = sd_bus_reply_method_return(m, "o", handle.c_str());
    if (r < 0) return r;
    const std::string answer = readAnswer();
    if (answer == "vanish") {
        gVanish = true;
    } else if (answer == "hold") {
        gPending = Pending{handle, true};
    } else {
        r = respond(sd_bus_message_get_bus(m), handle, answer);
    }
    return r < 0 ? r : 1;
}

const sd_bus_vtable kFileChooser[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("OpenFile", "ssa{sv}", "o", openFile, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: portal-stub ANSWER_FILE LOG_FILE\n");
        return 2;
    }
    gAnswerFile = argv[1];
    gLogFile = argv[2];
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0 ||
        sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/portal/desktop",
                                 "org.freedesktop.portal.FileChooser", kFileChooser, nullptr) < 0 ||
        sd_bus_request_name(bus, "org.freedesktop.portal.Desktop", 0) < 0) {
        std::fprintf(stderr, "portal-stub: no session bus, or the portal's name is taken\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    while (!gVanish) {
        int r = sd_bus_process(bus, nullptr);
        if (r < 0) return 1;
        if (r > 0) continue;
        if (gPending.active) {
            const std::string answer = readAnswer();
            if (answer != "hold") {
                gPending.active = false;
                respond(bus, gPending.handle, answer);
                continue;
            }
        }
        if (sd_bus_wait(bus, 50 * 1000) < 0) return 1;
    }
    sd_bus_flush_close_unref(bus);
    return 0;
}
