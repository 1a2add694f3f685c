#include "CPrefs.h"

#include "CCEditor.h"

CPrefs::CPrefs(const char* key, CCEditor* editor)
    : CCPreferenceManager(key, static_cast<CCPageManager*>(editor)), editor_(editor) {}

void CPrefs::onPreferenceChanged(CCPreference* preference) {
    if (!editor_ || !preference || preference->kind() != CCPreference::kInteger)
        return;
    CCMsg msg(MSG_PARAMETER, int32_t(preference->id()), preference->asInt(), 0.0f, nullptr);
    msg.toHiddenObjects = true;
    editor_->dispatchMessage(&msg);
}
