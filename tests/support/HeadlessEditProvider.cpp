#include "HeadlessEditProvider.h"

bool HeadlessEditProvider::open(const EditRequest& request) {
    if (refuse)
        return false;
    opened.push_back(request);
    pending_ = true;
    return true;
}

void HeadlessEditProvider::end(const EditRequest& request) {
    if (!pending_)
        return;
    pending_ = false;
    finishEdit(request, request.text);
}

bool HeadlessEditProvider::finish(const std::string& entered) {
    if (!pending_)
        return false;
    pending_ = false;
    finishEdit(opened.back(), entered);
    return true;
}

bool HeadlessEditProvider::cancel() {
    if (!pending_)
        return false;
    pending_ = false;
    cancelEdit(opened.back());
    return true;
}
