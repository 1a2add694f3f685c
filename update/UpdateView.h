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
    // One more line under what is shown, unless it is the last one already.
    virtual void appendLine(const std::string& line) = 0;
    virtual void setProgressValue(int percent) = 0;
    virtual void setProgressEnabled(bool enabled) = 0;
    virtual void setUpdateEnabled(bool enabled) = 0;
    virtual void setCloseEnabled(bool enabled) = 0;
    virtual void setOpenEnabled(bool enabled) = 0;
    // The close command: ask the main window to close. May come on every tick until
    // it is gone.
    virtual void requestClose() = 0;
    // Opens the open-file dialog without waiting for it; its answer comes back
    // through the presenter's fileChosen. False when none could be opened.
    virtual bool beginChooseFile() = 0;
};
