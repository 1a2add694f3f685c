#pragma once

#include <optional>
#include <string>
#include <vector>

// What the update logic needs of whatever shows it: the update page with its
// controls, or a terminal. Called on the user-interface thread only.
class UpdateView {
public:
    virtual ~UpdateView() = default;
    // Replaces every line of the message area.
    virtual void showLines(const std::vector<std::string>& lines) = 0;
    virtual void setProgressValue(int percent) = 0;
    virtual void setProgressEnabled(bool enabled) = 0;
    virtual void setUpdateEnabled(bool enabled) = 0;
    virtual void setCloseEnabled(bool enabled) = 0;
    virtual void setOpenEnabled(bool enabled) = 0;
    // The close command: ask the main window to close. May come on every tick until
    // it is gone.
    virtual void requestClose() = 0;
    // The open-file dialog; nothing when the user cancelled.
    virtual std::optional<std::string> chooseUpdateFile() = 0;
};
