#pragma once

#include "UiPlatform.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct sd_bus;
struct sd_bus_slot;
struct sd_bus_message;

// The desktop portal's file chooser (org.freedesktop.portal.FileChooser) over the
// session bus: GNOME, KDE and sandboxed desktops answer it with their own dialog.
// The call itself returns at once with a request object; the answer comes later as
// that request's Response signal, which the caller's event loop waits for on fd().
class PortalFileChooser {
  public:
    ~PortalFileChooser(); // an unanswered dialog is closed
    PortalFileChooser(const PortalFileChooser&) = delete;
    PortalFileChooser& operator=(const PortalFileChooser&) = delete;

    // Shows the dialog, owned by `parentWindow` ("x11:<hex id>", or empty). Null when
    // there is no session bus, no portal on it, or the portal refused the call within
    // `callTimeout`: the caller then falls back to another dialog.
    static std::unique_ptr<PortalFileChooser> open(const std::string& parentWindow,
                                                   const FileDialogRequest& request,
                                                   std::chrono::milliseconds callTimeout = std::chrono::seconds(5));

    // Whether the session bus has a portal offering the file chooser, or can start
    // one. Gives up after `timeout`: a bus that does not answer has none.
    static bool available(std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // For the event loop: the bus's descriptor, the poll events it waits for and how
    // long until it has something to do on its own (-1: nothing).
    int fd() const;
    short events() const;
    int timeoutMs() const;
    // Takes what the bus has, without waiting. True once the dialog has ended: by an
    // answer, a cancel, or the bus going away (the last two choose nothing).
    bool service();
    // Blocks until the dialog has ended.
    void wait();
    bool ended() const { return ended_; }
    const std::optional<std::string>& answer() const { return answer_; }

  private:
    PortalFileChooser() = default;
    struct Callbacks; // the bus's handlers, which need sd-bus's own types
    friend struct Callbacks;
    void takeResponse(sd_bus_message* message);
    void end();

    sd_bus* bus_ = nullptr;
    sd_bus_slot* match_ = nullptr;      // the request's Response
    sd_bus_slot* ownerMatch_ = nullptr; // the portal leaving the bus
    std::string portalOwner_;           // its unique name, the only sender believed
    std::string requestPath_;
    bool ended_ = false;
    std::optional<std::string> answer_;
};
