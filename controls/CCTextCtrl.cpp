#include "CCTextCtrl.h"

#include "CCBitmapCache.h"
#include "CCEditCtrl.h"
#include "CCFont.h"
#include "CCPageManager.h"
#include "Framework.h"
#include "ParameterAccess.h"

#include <algorithm>
#include <cstring>

namespace {

CCRect originRect(CCPoint origin, int backgroundId) {
    const auto [width, height] = backgroundId ? bitmapCache().getBitmapSize(backgroundId) : std::pair<int, int>{0, 0};
    return CCRect{origin.x, origin.y, origin.x + width, origin.y + height};
}

void copyBounded(char* destination, size_t capacity, const char* source, size_t limit) {
    const size_t length = std::min({source ? std::strlen(source) : 0, limit, capacity - 1});
    if (length)
        std::memcpy(destination, source, length);
    destination[length] = '\0';
}

} // namespace

CCTextCtrl::CCTextCtrl(int32_t tag, const CCRect& rect, int backgroundId, CCPageObject* listener,
                       uint16_t viewBits)
    : CControl(tag, rect.left, rect.top, rect.right, rect.bottom, 0, 0, 0, listener, viewBits) {
    if (backgroundId)
        setBackgroundBitmap(backgroundId);
}

CCTextCtrl::CCTextCtrl(int32_t tag, CCPoint origin, int backgroundId, CCPageObject* listener,
                       uint16_t viewBits)
    : CCTextCtrl(tag, originRect(origin, backgroundId), backgroundId, listener, viewBits) {}

CCTextCtrl::~CCTextCtrl() {
    if (owner_ && owner_->linkedDisplay() == this)
        owner_->setLinkedDisplay(nullptr);
}

void CCTextCtrl::setMaxLength(int length) {
    maxLength_ = std::clamp(length, 0, kTextSize - 1);
}

void CCTextCtrl::setText(const char* text, bool redraw) {
    copyBounded(text_, sizeof text_, text, static_cast<size_t>(maxLength_));
    if (redraw)
        invalidate(true);
}

char* CCTextCtrl::getText(char* buffer, size_t length) {
    if (buffer && length)
        copyBounded(buffer, length, text_, length - 1);
    return buffer;
}

bool CCTextCtrl::hitTest(int x, int y) {
    return editable_ && CControl::hitTest(x, y);
}

int CCTextCtrl::cursorAt(int x, int y) {
    return x >= rect_.left && x < rect_.right && y >= rect_.top && y < rect_.bottom ? 300 : 0;
}

void CCTextCtrl::drawContents(CCDrawContext* context) {
    drawHoverBackground(context, rightCap_);
    if (CCFont* font = getFont()) {
        if (password_) {
            const std::string stars(std::strlen(text_), '*');
            drawString(context, font, stars.c_str(), rect_, alignment_);
        } else {
            drawString(context, font, text_, rect_, alignment_);
        }
    }
}

int CCTextCtrl::onMouse(CCMouseMsg* msg) {
    if (msg->code != MSG_LBUTTON_DOWN || !usable() || !editable_)
        return 0;
    // Only a field wholly inside its parent: the edit window would stick out.
    if (parent_) {
        const CCRect& outer = parent_->rect();
        if (rect_.left < outer.left || rect_.top < outer.top || rect_.right > outer.right ||
            rect_.bottom > outer.bottom)
            return 0;
    }
    if (!(msg->x >= rect_.left && msg->x < rect_.right && msg->y >= rect_.top && msg->y < rect_.bottom))
        return 0;
    EditRequest request;
    request.rect = rect_;
    request.id = owner_ ? owner_->tag() : tag_;
    request.owner = this;
    request.text = text_;
    request.maxLength = maxLength_;
    request.password = password_;
    request.manager = managerOf();
    openEdit(request);
    return 1; // even when no edit control could be made
}

void CCTextCtrl::formatParameter(int32_t index) {
    if (hasParameter(index))
        parameters()->displayText(index, text_, sizeof text_);
}

int CCTextCtrl::onParameterMessage(CCMsg* msg) {
    switch (msg->code) {
    case MSG_PARAMETER:
        formatParameter(tag_);
        invalidate(true);
        return 1;
    case MSG_EDIT_DONE: {
        const char* entered = static_cast<const char*>(msg->data);
        copyBounded(text_, sizeof text_, entered, static_cast<size_t>(maxLength_));
        if (owner_) {
            if (msg->first == owner_->tag())
                owner_->setFromText(tag_, entered, true);
            if (commitThroughOwner_) {
                owner_->onTextCommitted(tag_, text_);
                invalidate(true);
                return 1;
            }
            formatParameter(owner_->tag());
        } else if (msg->first == tag_) {
            setFromText(tag_, entered, false);
            formatParameter(tag_);
        }
        invalidate(true);
        return 1;
    }
    case MSG_EDIT_CANCEL:
        if (owner_) {
            owner_->onParameterMessage(msg);
            return 0;
        }
        if (listener_)
            notifyListeners(msg);
        else
            bubbleUp(msg);
        return 1;
    default:
        return 0;
    }
}
