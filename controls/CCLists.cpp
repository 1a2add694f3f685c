#include "CCLists.h"

#include "CCEditCtrl.h"
#include "CCPageManager.h"
#include "PlatformHelpers.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

bool inside(const CCRect& r, int x, int y) {
    return r.left <= x && x < r.right && r.top <= y && y < r.bottom;
}

// A list entry is an item, or a table row holding one.
CCListBoxItem* itemOf(CCPageObject* entry) {
    if (auto* item = dynamic_cast<CCListBoxItem*>(entry))
        return item;
    if (auto* row = dynamic_cast<CCTableRowContainer*>(entry))
        return row->item();
    return nullptr;
}

// What names an entry from outside: a row's number, an item's index.
int32_t rowOf(CCPageObject* entry) {
    if (auto* row = dynamic_cast<CCTableRowContainer*>(entry))
        return row->rowNumber();
    CCListBoxItem* item = itemOf(entry);
    return item ? item->index() : -1;
}

void setFontDown(CCPageObject* object, CCFont* font) {
    if (dynamic_cast<CControl*>(object))
        object->setFont(font);
    for (CCPageObject* child = object->firstChild(); child; child = child->nextSibling())
        setFontDown(child, font);
}

} // namespace

CCListBox::CCListBox(int32_t tag, const CCRect& rect, int32_t minimum, int32_t maximum, CCPageObject* listener,
                     uint16_t viewBits)
    : CControl(tag, rect.left, rect.top, rect.right, rect.bottom, minimum, maximum, minimum, listener, viewBits) {}

CCListBoxItem::CCListBoxItem(int32_t tag, const CCRect& rect, CCListContainer* list, int32_t index,
                             CCPageObject* listener, uint16_t viewBits)
    : CCTextCtrl(tag, rect, 0, listener, viewBits), list_(list), index_(index) {}

void CCListBoxItem::setSelected(bool on) {
    if (selected_ == on)
        return;
    selected_ = on;
    invalidate(true);
}

int32_t CCListBoxItem::editId() const {
    return list_ ? list_->tag() : tag_;
}

bool CCListBoxItem::insideList(int x, int y) const {
    return inside(rect_, x, y) && (!list_ || inside(list_->rect(), x, y));
}

bool CCListBoxItem::openEditor() {
    if (!usable())
        return false;
    EditRequest request;
    request.rect = rect_;
    request.id = editId();
    request.owner = this;
    request.text = text();
    request.maxLength = maxLength();
    request.password = false;
    request.manager = managerOf();
    return openEdit(request);
}

void CCListBoxItem::drawContents(CCDrawContext* context) {
    if (background_)
        context->drawBitmap(background_, CCPoint{rect_.left, rect_.top}, CCPoint{0, 0});
    if (selected_)
        context->fillRect(list_ ? list_->selectionColour() : CCListContainer::kSelectionColour,
                          CCRect{rect_.left, rect_.top, rect_.right - 1, rect_.bottom - 1});
    drawString(context, getFont(), text(), rect_, alignment_);
}

int CCListBoxItem::onMouse(CCMouseMsg* msg) {
    if (msg->code != MSG_LBUTTON_DOWN || !usable() || !insideList(msg->x, msg->y))
        return 0;
    if (list_)
        list_->selectItem(index_, true);
    else
        setSelected(true);
    return 1;
}

void CCListBoxItem::onDoubleClick(int x, int y) {
    // The press that follows selects the item as well.
    if (editableByDoubleClick_ && insideList(x, y))
        openEditor();
}

int CCListBoxItem::onParameterMessage(CCMsg* msg) {
    switch (msg->code) {
    case MSG_PARAMETER:
        // An item's tag is its place in the list, not a parameter: its text stays.
        return 0;
    case MSG_EDIT_DONE: {
        if (msg->first != editId())
            return 0;
        // The text is the list's data, not a value: it is not parsed, so no 514
        // goes out with an item's small tag (which other controls' tags may equal).
        setText(static_cast<const char*>(msg->data), false);
        invalidate(true);
        CCMsg edited(MSG_ITEM_EDITED, list_ ? int32_t(list_->type()) : 0, 0, 0.0f, this);
        edited.data = this;
        bubbleUp(&edited);
        return 1;
    }
    default:
        return CCTextCtrl::onParameterMessage(msg);
    }
}

CCTableRowContainer::CCTableRowContainer(const CCRect& rect, int32_t row, CCPageObject* listener,
                                         uint16_t viewBits)
    : CCPanel(rect, 0, 0, listener, viewBits), row_(row) {}

CCOnOffButton* CCTableRowContainer::button() const {
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling())
        if (auto* button = dynamic_cast<CCOnOffButton*>(child))
            return button;
    return nullptr;
}

CCListBoxItem* CCTableRowContainer::item() const {
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling())
        if (auto* item = dynamic_cast<CCListBoxItem*>(child))
            return item;
    return nullptr;
}

CCListContainer::CCListContainer(int32_t tag, const CCRect& rect, int backgroundId, int itemHeight,
                                 CCPageObject* listener, uint16_t viewBits)
    : CCScrollingPanel(tag, rect, backgroundId, 0, listener, viewBits),
      itemHeight_(std::max(itemHeight, 1)) { // no zero-height stack of items on one line
    if (CCFont* font = defaultFont())
        itemFont_ = font->description();
    setInteractive(true);
}

int32_t CCListContainer::entryCount() const {
    int32_t count = 0;
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling())
        ++count;
    return count;
}

CCListBoxItem* CCListContainer::itemAt(int32_t index) const {
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling())
        if (CCListBoxItem* item = itemOf(child); item && item->index() == index)
            return item;
    return nullptr;
}

CCPageObject* CCListContainer::entryNamed(int32_t row) const {
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling())
        if (rowOf(child) == row)
            return child;
    return nullptr;
}

bool CCListContainer::isEntry(const CCPageObject* object) const {
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling())
        if (child == object)
            return true;
    return false;
}

CCRect CCListContainer::nextEntryRect() const {
    const int top = scrollY() + entryCount() * itemHeight_;
    return CCRect{scrollX(), top, scrollX() + rect_.width(), top + itemHeight_};
}

void CCListContainer::announce(CCPageObject* entry, CCListBoxItem* item) {
    CCMsg added(MSG_ITEM_ADDED, int32_t(type()), 0, 0.0f, entry);
    added.data = item;
    bubbleUp(&added);
}

CCListBoxItem* CCListContainer::addItem(const char* text, bool notify) {
    const int32_t count = entryCount();
    auto* item = new CCListBoxItem(count, nextEntryRect(), this, count, nullptr, 0);
    item->setAlignment(ALIGN_LEFT);
    item->setFont(findFont(itemFont_));
    item->setText(text, false);
    addChild(item);
    if (notify)
        announce(item, item);
    invalidate(false);
    return item;
}

CCTableRowContainer* CCListContainer::addRow(const char* text, bool on, bool editable, bool notify) {
    const int32_t count = entryCount();
    const CCRect rect = nextEntryRect();
    auto* row = new CCTableRowContainer(rect, nextRow_++, nullptr, 0);
    const int buttonTop = (itemHeight_ - kRowButtonSize) / 2;
    row->addChild(new CCOnOffButton(row->rowNumber(),
                                    CCRect{0, buttonTop, kRowButtonSize, buttonTop + kRowButtonSize}, kRowStrip,
                                    CCOnOffButton::MODE_TOGGLE, on ? 1 : 0, nullptr, 0));
    auto* item = new CCListBoxItem(count, CCRect{kRowTextLeft, 0, rect.width(), itemHeight_}, this, count,
                                   nullptr, 0);
    item->setAlignment(ALIGN_LEFT);
    item->setFont(findFont(itemFont_));
    item->setText(text, false);
    item->setEditableByDoubleClick(editable);
    row->addChild(item);
    addChild(row);
    if (notify)
        announce(row, item);
    invalidate(false);
    return row;
}

void CCListContainer::removeItem(int32_t index) {
    if (selected_ == index)
        selected_ = -1;
    std::vector<CCPageObject*> doomed;
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling())
        if (CCListBoxItem* item = itemOf(child); item && item->index() == index)
            doomed.push_back(child);
    for (CCPageObject* entry : doomed)
        delete removeChild(entry);
    relayout();
}

void CCListContainer::removeRow(int32_t row) {
    std::vector<CCPageObject*> doomed;
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling())
        if (rowOf(child) == row)
            doomed.push_back(child);
    for (CCPageObject* entry : doomed)
        delete removeChild(entry);
    relayout();
}

void CCListContainer::selectItem(int32_t index, bool notify) {
    CCListBoxItem* newlySelected = nullptr;
    bool found = false;
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling()) {
        CCListBoxItem* item = itemOf(child);
        if (!item)
            continue;
        const bool on = item->index() == index;
        if (on && !item->selected())
            newlySelected = item;
        found = found || on;
        item->setSelected(on);
        if (auto* row = dynamic_cast<CCTableRowContainer*>(child))
            row->setSelected(on);
    }
    selected_ = found ? index : -1;
    // After the list is consistent: a receiver may change the list.
    if (newlySelected && notify) {
        CCMsg selected(MSG_ITEM_SELECTED, int32_t(type()), 0, 0.0f, newlySelected);
        selected.data = newlySelected;
        newlySelected->bubbleUp(&selected);
    }
}

void CCListContainer::selectRow(int32_t row, bool notify) {
    CCListBoxItem* item = itemOf(entryNamed(row));
    selectItem(item ? item->index() : -1, notify);
}

bool CCListContainer::deleteSelected(bool confirmation) {
    CCPageObject* entry = nullptr;
    for (CCPageObject* child = firstChild_; child && !entry; child = child->nextSibling()) {
        auto* row = dynamic_cast<CCTableRowContainer*>(child);
        CCListBoxItem* item = itemOf(child);
        if ((row && row->selected()) || (item && item->selected()))
            entry = child;
    }
    if (!entry)
        return false;
    if (confirmation) {
        CCTimerObject* timers = timerObjectOf();
        if (!timers || !timers->askYesNo(kDeleteQuestion))
            return false;
        // The question's message loop may have changed the list meanwhile.
        if (!isEntry(entry))
            return false;
    }
    delete removeChild(entry);
    relayout();
    return true;
}

void CCListContainer::relayout() {
    // The fade thread draws the tree under the manager lock: nothing moves meanwhile.
    CCPageManager* manager = managerOf();
    std::unique_lock<CCLock> guard;
    if (manager)
        guard = std::unique_lock<CCLock>(manager->lock());
    std::vector<CCPageObject*> entries;
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling())
        entries.push_back(child);
    const int left = rect_.left + scrollX();
    for (size_t i = 0; i < entries.size(); ++i) {
        const int top = rect_.top + scrollY() + static_cast<int>(i) * itemHeight_;
        entries[i]->setRect(CCRect{left, top, left + rect_.width(), top + itemHeight_});
        if (CCListBoxItem* item = itemOf(entries[i]))
            item->setIndex(static_cast<int32_t>(i));
    }
    recomputeOverlaps();
    syncSelection();
    updateExtent();
    invalidate(false);
}

void CCListContainer::syncSelection() {
    // The selection follows its item when the items before it go.
    selected_ = -1;
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling())
        if (CCListBoxItem* item = itemOf(child); item && item->selected()) {
            selected_ = item->index();
            return;
        }
}

void CCListContainer::setItemFont(int32_t row, const FontDescription& description) {
    CCPageObject* entry = entryNamed(row);
    if (!entry)
        return;
    setFontDown(entry, findFont(description));
    entry->invalidate(false);
}

bool CCListContainer::editRow(int32_t row) {
    CCPageObject* entry = entryNamed(row);
    if (!entry)
        return false;
    if (CCListBoxItem* item = itemOf(entry); item && item->editableByDoubleClick())
        return item->openEditor();
    return false;
}

bool CCListContainer::selectedText(char* buffer, size_t length) {
    CCListBoxItem* item = selected_ >= 0 ? itemAt(selected_) : nullptr;
    if (!item) {
        if (buffer && length)
            buffer[0] = '\0';
        return false;
    }
    item->getText(buffer, length);
    return true;
}

int CCListContainer::onMouse(CCMouseMsg* msg) {
    if (!usable())
        return 0;
    switch (msg->code) {
    case MSG_MOUSE_WHEEL:
        if (!inside(rect_, msg->x, msg->y))
            return 0;
        scrollPixels(0, msg->first > 0 ? itemHeight_ : -itemHeight_);
        return 1;
    case MSG_LBUTTON_DOWN:
        if (inside(rect_, msg->x, msg->y))
            setCapture(true);
        return 0; // the item under the pointer takes the press
    case MSG_LBUTTON_UP:
        if (hasCapture_)
            setCapture(false);
        return 0;
    default:
        return 0;
    }
}

int CCListContainer::onParameterMessage(CCMsg* msg) {
    if (msg->code != MSG_VALUE_CHANGED)
        return 0;
    // Only a row's own button is a row switch; any other report travels on.
    auto* button = dynamic_cast<CCOnOffButton*>(msg->sender);
    auto* row = button ? dynamic_cast<CCTableRowContainer*>(button->parent()) : nullptr;
    if (!row || row->parent() != this || row->button() != button)
        return 0;
    CCRowSwitch change{row->rowNumber(), msg->second != 0};
    CCMsg switched(MSG_ROW_SWITCHED, int32_t(type()), 0, 0.0f, this);
    switched.data = &change;
    if (listener_)
        notifyListeners(&switched);
    else
        bubbleUp(&switched);
    return 1;
}

void CCListContainer::onDescendantRemoved(CCPageObject* object) {
    CCScrollingPanel::onDescendantRemoved(object);
    syncSelection();
}
