#pragma once

#include "CCPreference.h"

class CCEditor;

// The program's preferences: an integer preference that changes is announced to
// the editor's page as a 513 carrying its id and value, so bound controls follow.
class CPrefs : public CCPreferenceManager {
public:
    static constexpr const char* kKey = "SOFTWARE\\Quorix\\Firmware Updater\\1.00";

    CPrefs(const char* key, CCEditor* editor);
    void onPreferenceChanged(CCPreference* preference) override;

    CCEditor* editor() const { return editor_; }

private:
    CCEditor* editor_;
};
