#pragma once

#include "ProgramRunner.h"
#include "UiPlatform.h"

#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Modal dialogs and the URL opener through the desktop's own programs: zenity when
// it is installed, else kdialog. Each call blocks until the dialog is closed, except
// startOpenFile, whose program runs beside the caller's event loop.
class Dialogs {
public:
    enum class Tool { None, Zenity, KDialog };

    // `searchPath` is where the programs are looked for (PATH).
    explicit Dialogs(std::string searchPath);
    ~Dialogs();
    Dialogs(const Dialogs&) = delete;
    Dialogs& operator=(const Dialogs&) = delete;

    std::optional<std::string> openFile(const FileDialogRequest& request);
    // The file dialog's program, started; null when there is none or it did not
    // start. Its answer is fileAnswer of its result once it has finished.
    std::unique_ptr<RunningProgram> startOpenFile(const FileDialogRequest& request);
    // The chosen file of a finished file dialog; nothing when it was cancelled or
    // answered anything but one absolute path.
    static std::optional<std::string> fileAnswer(const ProgramResult& result);
    bool askYesNo(const std::string& caption, const std::string& text);
    // The chosen item's id; 0 when cancelled.
    int popupMenu(const std::vector<PopupItem>& items);
    // Hands the address to xdg-open without waiting for it.
    bool openUrl(const std::string& address);
    // Reaps URL openers that have finished.
    void reap();
    // zenity or kdialog is there.
    bool available() const;

    // The command lines, apart from the program (tests compare them).
    static std::vector<std::string> fileArguments(Tool tool, const FileDialogRequest& request);
    static std::vector<std::string> yesNoArguments(Tool tool, const std::string& caption,
                                                   const std::string& text);
    // Items flattened in order: a submenu's items carry their parent's text in front.
    struct MenuEntry {
        int id = 0;
        std::string text;
    };
    static std::vector<MenuEntry> flattenMenu(const std::vector<PopupItem>& items);
    static std::vector<std::string> menuArguments(Tool tool, const std::vector<MenuEntry>& entries);

private:
    // The tool to use, its path in `path`; says once on stderr when there is none.
    Tool findTool(std::string& path);

    std::string searchPath_;
    bool toldMissing_ = false;
    std::vector<pid_t> children_;
};
