#include "CCEditCtrl.h"

#include "CControl.h"
#include "CCPageManager.h"
#include "CCMsg.h"

#include <algorithm>

namespace {

// No window to type into: the edit opens, and ending it keeps the text it opened with.
class InertEditProvider : public EditControlProvider {
public:
    bool open(const EditRequest&) override { return true; }
    void end(const EditRequest& request) override { finishEdit(request, request.text); }
};

InertEditProvider inertProvider;
EditControlProvider* installed = &inertProvider;

// The open edit of each manager (the user-interface thread only).
std::vector<EditRequest> openEdits;

void forgetOpenEdit(const CCPageManager* manager) {
    openEdits.erase(std::remove_if(openEdits.begin(), openEdits.end(),
                                   [manager](const EditRequest& open) { return open.manager == manager; }),
                    openEdits.end());
}

} // namespace

void EditControlProvider::end(const EditRequest& request) {
    cancelEdit(request);
}

EditControlProvider& editControlProvider() {
    return *installed;
}

EditControlProvider* setEditControlProvider(EditControlProvider* provider) {
    EditControlProvider* previous = installed;
    installed = provider ? provider : &inertProvider;
    return previous;
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

namespace {

// The owner may have left the tree (and been destroyed) while the edit was open:
// the manager forgets it then, so only its current edit object hears back.
bool ownerStillEditing(const EditRequest& request) {
    if (!request.owner || !request.manager || request.manager->editObject() != request.owner)
        return false;
    request.manager->setEditObject(nullptr);
    forgetOpenEdit(request.manager);
    return true;
}

} // namespace

bool openEdit(const EditRequest& request) {
    if (!request.manager)
        return false;
    endEdit(request.manager);
    if (!editControlProvider().open(request))
        return false;
    openEdits.push_back(request);
    request.manager->setEditObject(request.owner);
    return true;
}

void endEdit(CCPageManager* manager) {
    auto open = std::find_if(openEdits.begin(), openEdits.end(),
                             [manager](const EditRequest& edit) { return edit.manager == manager; });
    if (open == openEdits.end()) {
        if (manager)
            manager->setEditObject(nullptr);
        return;
    }
    const EditRequest request = *open;
    openEdits.erase(open);
    editControlProvider().end(request);
    cancelEdit(request); // a provider that did not answer: abandoned (nothing if it did)
}

void editEnded(CCPageManager* manager, bool committed, const std::string& text) {
    auto open = std::find_if(openEdits.begin(), openEdits.end(),
                             [manager](const EditRequest& edit) { return edit.manager == manager; });
    if (open == openEdits.end())
        return; // ended from the program's side already
    const EditRequest request = *open;
    openEdits.erase(open);
    if (committed)
        finishEdit(request, text);
    else
        cancelEdit(request);
}

void finishEdit(const EditRequest& request, const std::string& entered) {
    if (!ownerStillEditing(request))
        return;
    std::string cleaned = cleanEditText(entered, request.maxLength);
    if (cleaned.empty()) {
        CCMsg cancelled(MSG_EDIT_CANCEL, request.id);
        request.owner->deliverTo(&cancelled);
        return;
    }
    CCMsg done(MSG_EDIT_DONE, request.id, cleaned.data());
    request.owner->deliverTo(&done);
}

void cancelEdit(const EditRequest& request) {
    if (!ownerStillEditing(request))
        return;
    CCMsg cancelled(MSG_EDIT_CANCEL, request.id);
    request.owner->deliverTo(&cancelled);
}
