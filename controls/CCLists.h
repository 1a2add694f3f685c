#pragma once

#include "CCButtons.h"
#include "CCFont.h"
#include "CCScrolling.h"
#include "CCTextCtrl.h"

#include <cstddef>
#include <cstdint>

class CCListContainer;

// What a table says with 536: which row's button changed, and to what.
struct CCRowSwitch {
    int32_t row = 0;
    bool on = false;
};

// A control with a range and nothing else of its own; the list itself is a
// CCListContainer.
class CCListBox : public CControl {
public:
    CCListBox(int32_t tag, const CCRect& rect, int32_t minimum, int32_t maximum, CCPageObject* listener,
              uint16_t viewBits);
};

// One line of a list: a text field that the list selects when pressed and that opens
// its edit control on a double click.
class CCListBoxItem : public CCTextCtrl {
public:
    CCListBoxItem(int32_t tag, const CCRect& rect, CCListContainer* list, int32_t index, CCPageObject* listener,
                  uint16_t viewBits);

    CCListContainer* list() const { return list_; }
    bool selected() const { return selected_; }
    void setSelected(bool on);
    bool editableByDoubleClick() const { return editableByDoubleClick_; }
    void setEditableByDoubleClick(bool on) { editableByDoubleClick_ = on; }
    // The item's place in its list, rewritten by every relayout.
    int32_t index() const { return index_; }
    void setIndex(int32_t index) { index_ = index; }
    // Opens the edit control over the item; false when none opened.
    bool openEditor();

    void drawContents(CCDrawContext* context) override;
    int onMouse(CCMouseMsg* msg) override;
    void onDoubleClick(int x, int y) override;
    int onParameterMessage(CCMsg* msg) override;

private:
    // The id the item's edits carry: the list's tag, or its own without a list.
    int32_t editId() const;
    bool insideList(int x, int y) const;

    CCListContainer* list_;
    bool selected_ = false;
    bool editableByDoubleClick_ = true;
    int32_t index_;
};

// A table row: an on/off button at its left and an item beside it.
class CCTableRowContainer : public CCPanel {
public:
    CCTableRowContainer(const CCRect& rect, int32_t row, CCPageObject* listener, uint16_t viewBits);

    int32_t rowNumber() const { return row_; }
    bool selected() const { return selected_; }
    void setSelected(bool on) { selected_ = on; }
    CCOnOffButton* button() const;
    CCListBoxItem* item() const;

private:
    int32_t row_;
    bool selected_ = false;
};

// The list container: items (addItem) or table rows (addRow) stacked one item height
// each, scrolled as a scrolling panel, with one item selected at most. An entry is
// named by its index (its place) or, for table rows, by its row number, which stays
// with the row; a plain item's "row" is its index.
class CCListContainer : public CCScrollingPanel {
public:
    static constexpr const char* kDeleteQuestion = "Are you sure you want to delete ?";
    static constexpr int kRowStrip = 5000;
    static constexpr int kRowButtonSize = 10;
    static constexpr int kRowTextLeft = 13;
    static constexpr CCBrush kSelectionColour{47, 143, 219, 255};

    CCListContainer(int32_t tag, const CCRect& rect, int backgroundId, int itemHeight, CCPageObject* listener,
                    uint16_t viewBits);

    // The new entry goes below the others; with notify, 534 goes up.
    CCListBoxItem* addItem(const char* text, bool notify);
    CCTableRowContainer* addRow(const char* text, bool on, bool editable, bool notify);
    void removeItem(int32_t index);
    void removeRow(int32_t row);
    // Selects the item at that index and deselects the others; an item that becomes
    // selected sends 533 when notify is set. An index that no item has selects none.
    virtual void selectItem(int32_t index, bool notify = true);
    void selectRow(int32_t row, bool notify = true);
    // Removes the first selected entry, after asking when confirmation is set.
    // True only when an entry was removed.
    bool deleteSelected(bool confirmation);
    // Stacks the entries again from the scroll offset and renumbers them from 0.
    void relayout();
    void setItemFont(int32_t row, const FontDescription& description);
    bool editRow(int32_t row);
    // The selected item's text; false (and an empty buffer) when none is selected.
    bool selectedText(char* buffer, size_t length);

    // The font of items added from now on.
    void setItemFontDescription(const FontDescription& description) { itemFont_ = description; }
    void setSelectionColour(const CCBrush& colour) { selectionColour_ = colour; }
    const CCBrush& selectionColour() const { return selectionColour_; }
    int itemHeight() const { return itemHeight_; }
    int32_t selectedIndex() const { return selected_; }
    int32_t entryCount() const;
    // The item at that index (a row's item for a table), or null.
    CCListBoxItem* itemAt(int32_t index) const;

    int onMouse(CCMouseMsg* msg) override;
    int onParameterMessage(CCMsg* msg) override;
    void onDescendantRemoved(CCPageObject* object) override;

private:
    CCPageObject* entryNamed(int32_t row) const;
    bool isEntry(const CCPageObject* object) const;
    CCRect nextEntryRect() const;
    void announce(CCPageObject* entry, CCListBoxItem* item);
    void syncSelection();

    int itemHeight_;
    FontDescription itemFont_;
    int32_t selected_ = -1;
    int32_t nextRow_ = 0;
    CCBrush selectionColour_ = kSelectionColour;
};
