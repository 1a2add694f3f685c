#include "CCEditCtrl.h"

#include "CControl.h"
#include "CCMsg.h"
#include "CCPageManager.h"
#include "UiPlatform.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

namespace {

void copyText(char* field, const std::string& text) {
    const size_t kept = std::min(text.size(), CCEditCtrl::kTextSize - 1);
    std::memcpy(field, text.data(), kept);
    field[kept] = '\0';
}

EditPopupRequest::Align alignmentOf(CCPageObject* owner) {
    auto* control = dynamic_cast<CControl*>(owner);
    switch (control ? control->alignment() : 0) {
    case 1:
        return EditPopupRequest::Align::Right;
    case 2:
        return EditPopupRequest::Align::Centre;
    default:
        return EditPopupRequest::Align::Left;
    }
}

} // namespace

CCEditCtrl::CCEditCtrl(int32_t id, int left, int top, int right, int bottom, CCPageObject* owner,
                       const char* initialText, uint16_t maxLength, bool password)
    : maxLength_(maxLength), owner_(owner), id_(id), password_(password) {
    copyText(text_, initialText ? initialText : "");
    CCPageManager* manager = owner ? owner->managerOf() : nullptr;
    PlatformWindow* window = manager ? manager->window() : nullptr;
    if (!window)
        return;
    // The edit held before ends first: opening a popup on the same window would
    // take the text typed into the old one with it. Its owner's handlers may open
    // another edit (ended too) or remove this edit's owner (then this one stays
    // inert: the manager has told it).
    for (int ended = 0; manager->editObject(); ++ended) {
        if (ended == kMostEndedBefore)
            return;
        manager->endEditingFor(this);
    }
    if (!owner_)
        return;
    EditPopupRequest request;
    request.rect = PixelRect{left, top, std::max(right, left + kMinWidth), std::max(bottom, top + kMinHeight)};
    request.text = text_;
    request.maxLength = std::min<int>(maxLength_, int(kTextSize) - 1);
    request.password = password_;
    request.align = alignmentOf(owner);
    request.fontHeight = kFontHeight;
    if (!uiPlatform().openEditPopup(window, request))
        return;
    window_ = window;
    manager_ = manager;
    manager->holdEdit(this);
}

CCEditCtrl::~CCEditCtrl() {
    closePopup();
    if (!committed_)
        Cancel();
}

void CCEditCtrl::closePopup() {
    if (PlatformWindow* window = std::exchange(window_, nullptr))
        uiPlatform().closeEditPopup(window);
}

const char* CCEditCtrl::GetText() {
    std::memset(work_, 0, sizeof work_);
    if (window_)
        if (const std::optional<std::string> typed = uiPlatform().editPopupText(window_))
            copyText(work_, *typed);
    return work_;
}

bool CCEditCtrl::Commit() {
    if (committed_ || !owner_)
        return true;
    return commitText(GetText());
}

bool CCEditCtrl::commitText(const std::string& typed) {
    if (committed_ || !owner_)
        return true;
    copyText(work_, typed);
    const std::string cleaned = cleanEditText(work_, maxLength_);
    if (cleaned.empty())
        return true; // nothing to deliver: the owner hears 526 when this goes
    copyText(text_, cleaned);
    CCMsg done(MSG_EDIT_DONE, id_, text_);
    committed_ = true;
    owner_->deliverTo(&done);
    return true;
}

int CCEditCtrl::End() {
    if (ending_)
        return 0;
    ending_ = true;
    // Text taken and popup closed before the owner hears: its handler may open the
    // next edit's popup on this window.
    const std::string typed = GetText();
    const bool hadPopup = window_ != nullptr;
    closePopup();
    if (hadPopup)
        commitText(typed);
    return hadPopup ? 1 : 0;
}

bool CCEditCtrl::Cancel() {
    if (owner_) {
        CCMsg cancelled(MSG_EDIT_CANCEL, id_);
        owner_->deliverTo(&cancelled);
    }
    return true;
}

void CCEditCtrl::popupEnded(bool committed, const std::string& text) {
    // The popup is gone already: nothing to close.
    window_ = nullptr;
    ending_ = true;
    if (committed)
        commitText(text);
}

bool openEdit(const EditRequest& request) {
    if (!request.manager)
        return false;
    const CCRect& r = request.rect;
    auto* edit = new CCEditCtrl(request.id, r.left, r.top, r.right, r.bottom, request.owner, request.text.c_str(),
                                uint16_t(std::clamp(request.maxLength, 0, 65535)), request.password);
    if (edit->isOpen())
        return true;
    delete edit; // no popup: the owner hears 526 now rather than never
    return false;
}

void endEdit(CCPageManager* manager) {
    if (manager)
        manager->endEditing();
}

void editEnded(CCPageManager* manager, bool committed, const std::string& text) {
    if (manager)
        manager->editPopupEnded(committed, text);
}

std::string cleanEditText(const std::string& text, int maxLength) {
    std::string cleaned = text.substr(0, static_cast<size_t>(maxLength < 0 ? 0 : maxLength));
    for (char& c : cleaned)
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            c = ' ';
    const size_t first = cleaned.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    const size_t last = cleaned.find_last_not_of(' ');
    return cleaned.substr(first, last - first + 1);
}
