#pragma once

#include "CCEditCtrl.h"
#include "CCPageManager.h"
#include "HeadlessPlatform.h"

#include <string>

// The user at a manager's edit popup on the headless platform: types, then presses
// Enter or Escape. Without a window handler in the way, the end goes straight to
// the manager, as the editor would pass it on.
struct HeadlessEdits {
    HeadlessEdits(HeadlessPlatform& platformIn, CCPageManager& managerIn)
        : platform(platformIn), manager(managerIn) {}

    bool open() const { return platform.editPopupOpen(manager.window()); }
    // The id the open edit reports back with; -1 when none is open.
    int32_t openId() const {
        auto* edit = dynamic_cast<CCEditCtrl*>(manager.editObject());
        return edit && open() ? edit->id() : -1;
    }
    bool finish(const std::string& typed) { return end(true, typed); }
    bool cancel() { return end(false, ""); }

    HeadlessPlatform& platform;
    CCPageManager& manager;

private:
    bool end(bool committed, const std::string& typed) {
        if (!platform.closeEditPopup(manager.window()))
            return false;
        editEnded(&manager, committed, typed);
        return true;
    }
};
