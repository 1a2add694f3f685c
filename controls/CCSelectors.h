#pragma once

#include "CCButtons.h"

#include <memory>
#include <string>
#include <vector>

struct PopupItem;

// A group of buttons of which one is on; its value is the index of that one.
class CCRadioButton : public CControl {
public:
    CCRadioButton(int32_t tag, const CCRect& rect, int backgroundId, CCPageObject* listener,
                  uint16_t viewBits);
    // Members are not owned; they lie inside the group (its children or below),
    // and one that leaves it is forgotten.
    void addMember(CControl* member);
    size_t memberCount() const { return members_.size(); }
    void onDescendantRemoved(CCPageObject* object) override;

    void applyValue(int32_t value, bool notify, bool redraw, bool extra, bool forced) override;
    void drawContents(CCDrawContext* context) override;
    int onParameterMessage(CCMsg* msg) override;
    int onMouse(CCMouseMsg* msg) override;
    void syncFromSource() override {}

private:
    std::vector<CControl*> members_;
};

class CCSimpleRadioButton : public CCRadioButton {
public:
    using CCRadioButton::CCRadioButton;
};

// Opens a popup menu of texts; the chosen index becomes the value. Returns the
// index, -1 when nothing was chosen, the control's menu is open already or there
// are no items.
int openTextMenu(CControl& control, bool& menuOpen, const std::vector<std::string>& items,
                 int checkedIndex, const CCMouseMsg* msg);

// A button that opens a menu of item texts; its value is the chosen index.
class CCButtonMenu : public CCOnOffButton {
public:
    CCButtonMenu(int32_t tag, const CCRect& rect, int stripId, int mode, CCPageObject* listener,
                 uint16_t viewBits);
    void setItems(const char* const* texts, int count);
    void drawContents(CCDrawContext* context) override;
    int onMouse(CCMouseMsg* msg) override;
    int onParameterMessage(CCMsg* msg) override { (void)msg; return 0; }

private:
    std::vector<std::string> items_;
    bool menuOpen_ = false;
};

// Shared drawing of the selectors: a stretched background, the selected text and
// an arrow beside it.
class CCSelectorBase : public CControl {
public:
    CCSelectorBase(int32_t tag, int left, int top, int right, int bottom, int backgroundId,
                   CCPageObject* listener, uint16_t viewBits);
    ~CCSelectorBase() override;
    void onMoved() override { textRect_ = rect_; }
    void drawContents(CCDrawContext* context) override;
    int onParameterMessage(CCMsg* msg) override;
    void setArrowBitmap(int id);
    virtual std::string selectedText() = 0;

protected:
    CCRect textRect_;
    int rightCap_ = 3;
    CCBitmap* arrow_ = nullptr;
    bool menuOpen_ = false;
};

// A text selector over a list of items; its value is the selected index.
class CCMenuSelector : public CCSelectorBase {
public:
    CCMenuSelector(int32_t tag, int left, int top, int right, int bottom, int backgroundId, int ignored1,
                   int ignored2, CCPageObject* listener, uint16_t viewBits);
    void setItems(const char* const* texts, int count);
    void drawContents(CCDrawContext* context) override;
    int onMouse(CCMouseMsg* msg) override;
    bool alwaysNotify() override { return itemsChanged_; }
    char* getText(char* buffer, size_t length) override;
    std::string selectedText() override;

private:
    std::vector<std::string> items_;
    bool itemsChanged_ = false;
};

// A selector of items with ids, separators (id 65535) and sub-menus; its value is
// the selected item's id.
class CCMenuSelectorEx : public CCSelectorBase {
public:
    static constexpr int kSeparator = 65535;

    CCMenuSelectorEx(int32_t tag, int left, int top, int right, int bottom, int backgroundId,
                     CCPageObject* listener, uint16_t viewBits);
    // The sub-menu, if any, is owned from now on.
    void addItem(int id, const char* text, CCMenuSelectorEx* submenu = nullptr);
    void clearItems();
    int onMouse(CCMouseMsg* msg) override;
    std::string selectedText() override;
    // Selectable ids in list order, sub-menus walked in place.
    void selectableIds(std::vector<int>& ids) const;

private:
    struct Item {
        int id = 0;
        std::string text;
        std::unique_ptr<CCMenuSelectorEx> submenu;
    };
    void buildMenu(std::vector<PopupItem>& menu) const;
    const Item* findItem(int id) const;

    std::vector<Item> items_;
};
