#include "CCSelectors.h"

#include "CCBitmapCache.h"
#include "CCFont.h"
#include "CCPageManager.h"
#include "CCTextCtrl.h"
#include "Framework.h"
#include "ParameterAccess.h"
#include "UiPlatform.h"

#include <algorithm>
#include <cstring>

namespace {

// Popup tracking is modal: the flag keeps a second menu of the same control shut.
int trackMenu(CControl& control, bool& menuOpen, const std::vector<PopupItem>& menu, const CCMouseMsg* msg) {
    if (menuOpen || menu.empty())
        return 0;
    CCPageManager* manager = control.managerOf();
    menuOpen = true;
    const int chosen = uiPlatform().trackPopupMenu(manager ? manager->window() : nullptr, menu,
                                                   msg->screenX, msg->screenY);
    menuOpen = false;
    return chosen;
}

} // namespace

int openTextMenu(CControl& control, bool& menuOpen, const std::vector<std::string>& items,
                 int checkedIndex, const CCMouseMsg* msg) {
    std::vector<PopupItem> menu;
    for (size_t i = 0; i < items.size(); ++i) {
        PopupItem item;
        item.id = static_cast<int>(i) + 1;
        item.text = items[i];
        item.checked = static_cast<int>(i) == checkedIndex;
        menu.push_back(item);
    }
    const int chosen = trackMenu(control, menuOpen, menu, msg);
    return chosen >= 1 && chosen <= static_cast<int>(items.size()) ? chosen - 1 : -1;
}

CCRadioButton::CCRadioButton(int32_t tag, const CCRect& rect, int backgroundId, CCPageObject* listener,
                             uint16_t viewBits)
    : CControl(tag, rect.left, rect.top, rect.right, rect.bottom, 0, 0, 0, listener, viewBits) {
    if (backgroundId)
        setBackgroundBitmap(backgroundId);
}

void CCRadioButton::addMember(CControl* member) {
    if (!member)
        return;
    members_.push_back(member);
    setRange(0, static_cast<int32_t>(members_.size()) - 1);
}

void CCRadioButton::onDescendantRemoved(CCPageObject* object) {
    const size_t before = members_.size();
    members_.erase(std::remove_if(members_.begin(), members_.end(),
                                  [object](CControl* member) { return object->contains(member); }),
                   members_.end());
    if (members_.size() != before)
        setRange(0, std::max(static_cast<int32_t>(members_.size()) - 1, 0));
}

void CCRadioButton::applyValue(int32_t value, bool notify, bool redraw, bool extra, bool forced) {
    if (value < 0 || value > span_ || value >= static_cast<int32_t>(members_.size()))
        return;
    for (size_t i = 0; i < members_.size(); ++i) {
        CCMsg select(MSG_PARAMETER, 0, static_cast<int32_t>(i) == value ? 1.0f : 0.0f, redraw);
        select.sender = this;
        members_[i]->handleMessage(&select);
    }
    CControl::applyValue(value, notify, redraw, extra, forced);
}

void CCRadioButton::drawContents(CCDrawContext* context) {
    if (background_)
        context->drawBitmap(background_, CCPoint{rect_.left, rect_.top}, CCPoint{0, 0});
}

int CCRadioButton::onParameterMessage(CCMsg* msg) {
    if (msg->sender == this)
        return 0;
    switch (msg->code) {
    case MSG_VALUE_CHANGED: {
        auto it = std::find(members_.begin(), members_.end(), msg->sender);
        if (it == members_.end())
            return 0;
        const int32_t memberValue = msg->second;
        CCMsg others(MSG_PARAMETER, 0, toNormalized(memberValue == 0 ? 1 : 0), true);
        others.sender = this;
        for (CControl* member : members_)
            if (member != *it)
                member->handleMessage(&others);
        if (memberValue == 1)
            setValue(static_cast<int32_t>(it - members_.begin()), true, true, false);
        return 1;
    }
    case MSG_PARAMETER:
        setValueFromParameter(fromNormalized(msg->value), msg->notify, false);
        return 1;
    case MSG_HELD: {
        if (msg->second != tag_)
            return 0;
        int bit = 0;
        for (CCPageObject* child = firstChild_; child; child = child->nextSibling(), ++bit) {
            const bool on = bit < 32 && (uint32_t(msg->first) >> bit) & 1u;
            child->setEnabled(on, on ? 0 : 80);
        }
        invalidate(false);
        return 1;
    }
    default:
        return 0;
    }
}

int CCRadioButton::onMouse(CCMouseMsg* msg) {
    if (msg->code != MSG_MOUSE_WHEEL || !usable() || !CCPageObject::hitTest(msg->x, msg->y))
        return 0;
    setValue(msg->first <= 0 ? value_ + 1 : value_ - 1, true, true, false);
    return 1;
}

CCButtonMenu::CCButtonMenu(int32_t tag, const CCRect& rect, int stripId, int mode,
                           CCPageObject* listener, uint16_t viewBits)
    : CCOnOffButton(tag, rect, stripId, mode, 0, listener, viewBits) {
    value_ = -1;
}

void CCButtonMenu::setItems(const char* const* texts, int count) {
    items_.clear();
    for (int i = 0; texts && i < count; ++i)
        items_.emplace_back(texts[i] ? texts[i] : "");
    // The chosen index must not be clamped to the on/off range.
    setRange(0, std::max(static_cast<int32_t>(items_.size()) - 1, 0));
}

void CCButtonMenu::drawContents(CCDrawContext* context) {
    if (!strip_)
        return;
    if (hover_)
        tintWithHighlight(context);
    context->drawFrame(strip_, CCPoint{rect_.left, rect_.top}, pressed_ ? 2 : 1);
    context->setTint(0, 0, 0);
}

int CCButtonMenu::onMouse(CCMouseMsg* msg) {
    if (msg->code != MSG_LBUTTON_DOWN || !usable() || !hitTest(msg->x, msg->y))
        return 0;
    pressed_ = true;
    invalidate(true);
    const int chosen = openTextMenu(*this, menuOpen_, items_, -1, msg);
    value_ = -1;
    if (chosen >= 0)
        setValue(chosen, true, true, false);
    pressed_ = false;
    invalidate(true);
    return 1;
}

CCSelectorBase::CCSelectorBase(int32_t tag, int left, int top, int right, int bottom, int backgroundId,
                               CCPageObject* listener, uint16_t viewBits)
    : CControl(tag, left, top, right, bottom, 0, 0, 0, listener, viewBits), textRect_(rect_) {
    if (backgroundId)
        setBackgroundBitmap(backgroundId);
}

CCSelectorBase::~CCSelectorBase() {
    bitmapCache().release(arrow_);
}

void CCSelectorBase::setArrowBitmap(int id) {
    bitmapCache().release(arrow_);
    arrow_ = id ? bitmapCache().getBitmap(id) : nullptr;
}

void CCSelectorBase::drawContents(CCDrawContext* context) {
    drawHoverBackground(context, rightCap_);
    const std::string text = selectedText();
    CCFont* font = getFont();
    drawString(context, font, text.c_str(), textRect_, alignment_);
    if (!arrow_ || (alignment_ != 0 && alignment_ != 2))
        return;
    const int textWidth = font ? font->textWidth(text.c_str()) : 0;
    int x = textRect_.left + textWidth + 2;
    if (alignment_ == 2)
        x += (textRect_.width() - textWidth) / 2;
    const int y = textRect_.top + (textRect_.height() - arrow_->height()) / 2;
    context->drawBitmap(arrow_, CCPoint{x, y}, CCPoint{0, 0});
}

int CCSelectorBase::onParameterMessage(CCMsg* msg) {
    if (msg->code != MSG_PARAMETER)
        return 0;
    ParameterAccess* access = parameters();
    if (access && hasParameter(tag_) && access->isIntParameter(tag_))
        setValueFromParameter(msg->second, msg->notify, false);
    else
        setValueFromParameter(fromNormalized(msg->value), msg->notify, false);
    return 1;
}

CCMenuSelector::CCMenuSelector(int32_t tag, int left, int top, int right, int bottom, int backgroundId,
                               int ignored1, int ignored2, CCPageObject* listener, uint16_t viewBits)
    : CCSelectorBase(tag, left, top, right, bottom, backgroundId, listener, viewBits) {
    (void)ignored1, (void)ignored2;
}

void CCMenuSelector::setItems(const char* const* texts, int count) {
    items_.clear();
    for (int i = 0; texts && i < count; ++i)
        items_.emplace_back(texts[i] ? texts[i] : "");
    maximum_ = static_cast<int32_t>(items_.size()) - 1;
    span_ = 1;
    itemsChanged_ = true;
}

std::string CCMenuSelector::selectedText() {
    return value_ >= 0 && value_ < static_cast<int32_t>(items_.size()) ? items_[size_t(value_)] : std::string();
}

void CCMenuSelector::drawContents(CCDrawContext* context) {
    CCSelectorBase::drawContents(context);
    itemsChanged_ = false;
}

char* CCMenuSelector::getText(char* buffer, size_t length) {
    return copyText(buffer, length, selectedText());
}

int CCMenuSelector::onMouse(CCMouseMsg* msg) {
    if (!usable() || !hitTest(msg->x, msg->y))
        return 0;
    if (msg->code == MSG_LBUTTON_DOWN) {
        if (CCPageManager* manager = managerOf())
            manager->setHover(this);
        const int chosen = openTextMenu(*this, menuOpen_, items_, value_, msg);
        if (chosen >= 0) {
            setValue(chosen, true, true, false);
            invalidate(false);
        }
        return 1;
    }
    if (msg->code == MSG_MOUSE_WHEEL) {
        setValue(msg->first < 1 ? value_ + 1 : value_ - 1, true, true, true);
        return 1;
    }
    return 0;
}

CCMenuSelectorEx::CCMenuSelectorEx(int32_t tag, int left, int top, int right, int bottom,
                                   int backgroundId, CCPageObject* listener, uint16_t viewBits)
    : CCSelectorBase(tag, left, top, right, bottom, backgroundId, listener, viewBits) {}

void CCMenuSelectorEx::addItem(int id, const char* text, CCMenuSelectorEx* submenu) {
    Item item;
    item.id = id;
    item.text = text ? text : "";
    item.submenu.reset(submenu);
    items_.push_back(std::move(item));
}

void CCMenuSelectorEx::clearItems() {
    items_.clear();
}

void CCMenuSelectorEx::buildMenu(std::vector<PopupItem>& menu) const {
    for (const Item& item : items_) {
        PopupItem entry;
        if (item.id == kSeparator) {
            entry.separator = true;
        } else {
            entry.id = item.id;
            entry.text = item.text;
            entry.checked = item.id == value_;
            if (item.submenu)
                item.submenu->buildMenu(entry.submenu);
        }
        menu.push_back(std::move(entry));
    }
}

const CCMenuSelectorEx::Item* CCMenuSelectorEx::findItem(int id) const {
    for (const Item& item : items_) {
        if (item.id == id && item.id != kSeparator)
            return &item;
        if (item.submenu)
            if (const Item* found = item.submenu->findItem(id))
                return found;
    }
    return nullptr;
}

std::string CCMenuSelectorEx::selectedText() {
    const Item* item = findItem(value_);
    return item ? item->text : std::string();
}

void CCMenuSelectorEx::selectableIds(std::vector<int>& ids) const {
    for (const Item& item : items_) {
        if (item.id == kSeparator)
            continue;
        if (item.submenu)
            item.submenu->selectableIds(ids);
        else
            ids.push_back(item.id);
    }
}

int CCMenuSelectorEx::onMouse(CCMouseMsg* msg) {
    if (!usable() || !hitTest(msg->x, msg->y))
        return 0;
    if (msg->code == MSG_LBUTTON_DOWN) {
        std::vector<PopupItem> menu;
        buildMenu(menu);
        const int chosen = trackMenu(*this, menuOpen_, menu, msg);
        if (chosen != 0 && findItem(chosen)) {
            setValue(chosen, true, true, false);
            invalidate(false);
        }
        return 1;
    }
    if (msg->code == MSG_MOUSE_WHEEL) {
        std::vector<int> ids;
        selectableIds(ids);
        if (ids.empty())
            return 1;
        auto at = std::find(ids.begin(), ids.end(), value_);
        int index = at == ids.end() ? -1 : static_cast<int>(at - ids.begin());
        index = msg->first < 0 ? index + 1 : index - 1;
        if (index >= 0 && index < static_cast<int>(ids.size()))
            setValue(ids[size_t(index)], true, true, true);
        return 1;
    }
    return 0;
}
