#include "../support/HeadlessEdits.h"
#include "../support/PageSupport.h"

#include "CCLists.h"
#include "CCPanels.h"
#include "CCScrolling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

// A page that keeps every plain message reaching it, with the row switches' data.
class ListPage : public Probe {
public:
    struct Seen {
        uint16_t code;
        int32_t first;
        CCPageObject* sender;
    };
    ListPage() : Probe(0, 0, 480, 240) {}
    int handleMessage(CCMsg* msg) override {
        seen.push_back(Seen{msg->code, msg->first, msg->sender});
        if (msg->code == MSG_ROW_SWITCHED)
            switches.push_back(*static_cast<const CCRowSwitch*>(msg->data));
        if (msg->code == MSG_ITEM_EDITED && onEdited)
            onEdited();
        return Probe::handleMessage(msg);
    }
    size_t count(uint16_t code) const {
        return size_t(std::count_if(seen.begin(), seen.end(), [code](const Seen& s) { return s.code == code; }));
    }
    const Seen* last(uint16_t code) const {
        for (auto s = seen.rbegin(); s != seen.rend(); ++s)
            if (s->code == code)
                return &*s;
        return nullptr;
    }
    const CCPageObject* lastSender(uint16_t code) const { return last(code) ? last(code)->sender : nullptr; }
    int32_t lastFirst(uint16_t code) const { return last(code) ? last(code)->first : -1; }
    std::vector<Seen> seen;
    std::vector<CCRowSwitch> switches;
    std::function<void()> onEdited; // what the page does when an item was edited
};

struct Rig {
    Rig() {
        page = new ListPage;
        manager.addChild(page);
    }
    CCScroller* scroller(int32_t tag) { return static_cast<CCScroller*>(page->findChild(uint32_t(tag), false)); }
    bool wheel(int x, int y, int delta) {
        CCMouseMsg msg = manager.mouse(MSG_MOUSE_WHEEL, x, y);
        msg.first = delta;
        return manager.dispatchMessage(&msg);
    }
    TestManager manager;
    ListPage* page;
};

std::vector<std::string> texts(const CCListContainer& list) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < list.entryCount(); ++i)
        out.push_back(list.itemAt(i) ? list.itemAt(i)->text() : "?");
    return out;
}

} // namespace

TEST(ScrollingPanel, MeasuresItsContentHidesIdleScrollersAndClampsPaging) {
    struct Case {
        const char* name;
        CCRect content; // beside the first child, the page of 40 x 30 at the origin
        int marginX, marginY;
        int maximumX, maximumY;
    } cases[] = {
        {"fits the view", {0, 0, 100, 50}, 0, 0, 0, 0},
        {"wider and taller", {0, 0, 300, 120}, 0, 0, 200, 70},
        {"margins", {0, 0, 300, 50}, 10, 5, 210, 5},
        {"left of the origin", {-60, 0, 100, 40}, 0, 0, 60, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        auto* panel = new CCScrollingPanel(7, CCRect{20, 30, 120, 80}, 0, 0, nullptr, 0);
        panel->setMargins(c.marginX, c.marginY);
        auto* first = new CCPageObject(0, 0, 40, 30);
        panel->addChild(first);
        auto* content = new CCPageObject(c.content.left, c.content.top, c.content.right, c.content.bottom);
        panel->addChild(content);
        rig.page->addChild(panel);

        CCScroller* across = rig.scroller(CCScrollingPanel::kHorizontalScrollerTag);
        CCScroller* down = rig.scroller(CCScrollingPanel::kVerticalScrollerTag);
        ASSERT_TRUE(across && down);
        EXPECT_EQ(across->rect(), (CCRect{20, 80, 120, 95})); // just below, 15 high
        EXPECT_EQ(down->rect(), (CCRect{120, 30, 135, 80}));  // just right, 15 wide
        EXPECT_EQ(panel->maximumX(), c.maximumX);
        EXPECT_EQ(panel->maximumY(), c.maximumY);
        EXPECT_EQ(across->shown(), c.maximumX != 0);
        EXPECT_EQ(down->shown(), c.maximumY != 0);

        // A page at a time to the end and back: never past -maximum, never past 0.
        for (int pages = 1; pages <= 8; ++pages) {
            panel->scrollPages(-1, -1);
            const int x = -std::min(pages * 40, c.maximumX), y = -std::min(pages * 30, c.maximumY);
            ASSERT_EQ(panel->scrollX(), x) << pages;
            ASSERT_EQ(panel->scrollY(), y) << pages;
            EXPECT_EQ(first->rect(), (CCRect{20 + x, 30 + y, 60 + x, 60 + y}));
            EXPECT_EQ(across->position(), -x);
            EXPECT_EQ(down->position(), -y);
        }
        for (int pages = 0; pages < 8; ++pages)
            panel->scrollPages(1, 1);
        EXPECT_EQ(panel->scrollX(), 0);
        EXPECT_EQ(panel->scrollY(), 0);

        // Scrolled to the end, the content goes: the offsets come back with it.
        panel->scrollPages(-1, -1);
        panel->saveScroll();
        delete panel->removeChild(content);
        EXPECT_EQ(panel->scrollX(), 0);
        EXPECT_EQ(panel->scrollY(), 0);
        EXPECT_EQ(first->rect(), (CCRect{20, 30, 60, 60}));
        EXPECT_FALSE(across->shown());
        EXPECT_FALSE(down->shown());
        panel->restoreScroll(); // nothing to scroll any more: stays
        EXPECT_EQ(panel->scrollX(), 0);

        // The scrollers go with the panel.
        delete rig.page->removeChild(panel);
        EXPECT_EQ(rig.scroller(CCScrollingPanel::kHorizontalScrollerTag), nullptr);
        EXPECT_EQ(rig.scroller(CCScrollingPanel::kVerticalScrollerTag), nullptr);
    }
}

TEST(ScrollingPanel, ChildrenScrolledOutOfViewTakeNoPresses) {
    Rig rig;
    auto* panel = new CCScrollingPanel(7, CCRect{20, 100, 220, 140}, 0, 0, nullptr, 0);
    auto* button = new CCOnOffButton(3, CCPoint{0, 0}, 206, 3, CCOnOffButton::MODE_TOGGLE, 0, nullptr, 0);
    panel->addChild(button); // 30 high: a page
    panel->addChild(new CCPageObject(0, 0, 10, 120));
    rig.page->addChild(panel);
    panel->scrollPages(0, -1);
    ASSERT_EQ(button->rect().top, 70); // above the view now
    EXPECT_FALSE(rig.manager.click(25, 80));
    EXPECT_EQ(button->value(), 0);
    panel->scrollPages(0, 1);
    EXPECT_TRUE(rig.manager.click(25, 110));
    EXPECT_EQ(button->value(), 1);
}

TEST(Scroller, ArrowsRepeatWhileHeldWheelPagesAndTheThumbDrags) {
    Rig rig;
    auto* panel = new CCScrollingPanel(7, CCRect{20, 20, 220, 120}, 0, 0, nullptr, 0);
    panel->addChild(new CCPageObject(0, 0, 50, 40)); // a page is 50 x 40
    panel->addChild(new CCPageObject(0, 0, 600, 400));
    rig.page->addChild(panel);
    CCScroller* across = rig.scroller(CCScrollingPanel::kHorizontalScrollerTag);
    ASSERT_EQ(across->maximum(), 400);
    // Arrows of 15, a thumb of 30 on a track of 170: the thumb travels 140.
    EXPECT_EQ(across->backArrowArea(), (CCRect{20, 120, 35, 135}));
    EXPECT_EQ(across->forwardArrowArea(), (CCRect{205, 120, 220, 135}));
    EXPECT_EQ(across->trackLength(), 140);

    // The forward arrow: a page now, another each 150 ms while it is held.
    rig.manager.send(MSG_LBUTTON_DOWN, 210, 127);
    EXPECT_EQ(panel->scrollX(), -50);
    EXPECT_EQ(rig.manager.platform.timerInterval(&rig.manager.window, CCScroller::kRepeatTimer), 150u);
    rig.manager.advance(150);
    EXPECT_EQ(panel->scrollX(), -100);
    rig.manager.advance(300);
    EXPECT_EQ(panel->scrollX(), -200);
    rig.manager.send(MSG_LBUTTON_UP, 400, 200); // released anywhere
    EXPECT_FALSE(across->arrowHeld());
    EXPECT_FALSE(rig.manager.platform.timerRunning(&rig.manager.window, CCScroller::kRepeatTimer));
    rig.manager.advance(600);
    EXPECT_EQ(panel->scrollX(), -200);
    rig.manager.send(MSG_LBUTTON_DOWN, 25, 127); // the back arrow
    rig.manager.send(MSG_LBUTTON_UP, 25, 127);
    EXPECT_EQ(panel->scrollX(), -150);

    // The wheel: a page back for a delta below 1, forward otherwise.
    rig.wheel(100, 127, 120);
    EXPECT_EQ(panel->scrollX(), -200);
    rig.wheel(100, 127, -120);
    EXPECT_EQ(panel->scrollX(), -150);

    // The thumb (at 35 + 150 × 140 / 400 = 87) held 13 pixels in: it follows the
    // pointer, within the track's ends.
    ASSERT_EQ(across->thumbArea(), (CCRect{87, 120, 117, 135}));
    rig.manager.send(MSG_LBUTTON_DOWN, 100, 127);
    ASSERT_EQ(rig.manager.captureObject(), across);
    struct Move {
        int x, position;
    } moves[] = {{128, 228}, {62, 40}, {1000, 400}, {0, 0}, {100, 148}};
    for (const Move& m : moves) {
        rig.manager.send(MSG_MOUSE_MOVE, m.x, 300);
        EXPECT_EQ(across->position(), m.position) << m.x;
        EXPECT_EQ(panel->scrollX(), -m.position) << m.x;
    }
    rig.manager.send(MSG_LBUTTON_UP, 100, 300);
    EXPECT_EQ(rig.manager.captureObject(), nullptr);
    EXPECT_FALSE(across->dragging());

    // Someone else's release is not the scroller's: a button after it still clicks.
    auto* button = new CCOnOffButton(3, CCPoint{300, 20}, 206, 3, CCOnOffButton::MODE_TOGGLE, 0, nullptr, 0);
    rig.page->addChild(button);
    EXPECT_TRUE(rig.manager.click(310, 30));
    EXPECT_EQ(button->value(), 1);
}

TEST(Scroller, TheRepeatEndsWhenItsReleaseCannotComeOrTheScrollerGoes) {
    for (const bool modal : {true, false}) {
        Rig rig;
        auto* panel = new CCScrollingPanel(7, CCRect{20, 20, 220, 120}, 0, 0, nullptr, 0);
        panel->addChild(new CCPageObject(0, 0, 50, 40));
        panel->addChild(new CCPageObject(0, 0, 600, 400));
        rig.page->addChild(panel);
        rig.manager.send(MSG_LBUTTON_DOWN, 210, 127); // the forward arrow, held
        ASSERT_TRUE(rig.manager.platform.timerRunning(&rig.manager.window, CCScroller::kRepeatTimer));
        EXPECT_EQ(rig.manager.captureObject(), rig.scroller(CCScrollingPanel::kHorizontalScrollerTag));
        if (modal) {
            // The release goes to the modal object now.
            rig.manager.setModal(new CCPageObject(300, 150, 400, 200));
            rig.manager.send(MSG_LBUTTON_UP, 350, 170);
            EXPECT_FALSE(rig.scroller(CCScrollingPanel::kHorizontalScrollerTag)->arrowHeld());
        } else {
            delete rig.page->removeChild(panel); // its scrollers go with it
        }
        EXPECT_FALSE(rig.manager.platform.timerRunning(&rig.manager.window, CCScroller::kRepeatTimer)) << modal;
        if (modal) {
            rig.manager.advance(600);
            EXPECT_EQ(panel->scrollX(), -50);
        }
    }
}

TEST(Scroller, ThumbWithNowhereToGoDragsNothing) {
    Rig rig;
    auto* panel = new CCScrollingPanel(7, CCRect{20, 20, 60, 60}, 0, 0, nullptr, 0); // 40 wide
    panel->addChild(new CCPageObject(0, 0, 300, 10));
    rig.page->addChild(panel);
    CCScroller* across = rig.scroller(CCScrollingPanel::kHorizontalScrollerTag);
    ASSERT_EQ(across->trackLength(), 0); // arrows of 15 leave 10: all thumb
    rig.manager.send(MSG_LBUTTON_DOWN, 40, 65);
    rig.manager.send(MSG_MOUSE_MOVE, 55, 65);
    rig.manager.send(MSG_LBUTTON_UP, 55, 65);
    EXPECT_EQ(panel->scrollX(), 0);
}

TEST(Lists, AddingSelectingAndRemovingKeepIndexesPositionsAndSelectionTrue) {
    Rig rig;
    auto* list = new CCListContainer(40, CCRect{100, 20, 300, 100}, 0, 16, nullptr, 0);
    rig.page->addChild(list);
    for (const char* text : {"a", "b", "c", "d", "e", "f"})
        list->addItem(text, true);
    EXPECT_EQ(rig.page->count(MSG_ITEM_ADDED), 6u);
    EXPECT_EQ(rig.page->lastFirst(MSG_ITEM_ADDED), 40); // the list's type
    EXPECT_EQ(rig.page->lastSender(MSG_ITEM_ADDED), list->itemAt(5));
    EXPECT_TRUE(rig.scroller(CCScrollingPanel::kVerticalScrollerTag)->shown()); // 96 in 80
    EXPECT_FALSE(rig.scroller(CCScrollingPanel::kHorizontalScrollerTag)->shown());

    enum Op { CLICK, SELECT_QUIETLY, REMOVE, WHEEL };
    struct Step {
        Op op;
        int argument;
        std::vector<std::string> texts;
        int selected;
        size_t selections; // 533s so far
        int scroll;
    } steps[] = {
        {CLICK, 2, {"a", "b", "c", "d", "e", "f"}, 2, 1, 0},
        {CLICK, 2, {"a", "b", "c", "d", "e", "f"}, 2, 1, 0}, // selected already: no second 533
        {REMOVE, 0, {"b", "c", "d", "e", "f"}, 1, 1, 0},     // the selection follows "c"
        {SELECT_QUIETLY, 3, {"b", "c", "d", "e", "f"}, 3, 1, 0},
        {REMOVE, 3, {"b", "c", "d", "f"}, -1, 1, 0}, // the selected one goes: none
        {CLICK, 0, {"b", "c", "d", "f"}, 0, 2, 0},
        {SELECT_QUIETLY, 9, {"b", "c", "d", "f"}, -1, 2, 0}, // no such item: none selected
        {REMOVE, 7, {"b", "c", "d", "f"}, -1, 2, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.op << " " << s.argument);
        switch (s.op) {
        case CLICK:
            ASSERT_TRUE(rig.manager.click(150, 20 + s.argument * 16 + 8));
            break;
        case SELECT_QUIETLY:
            list->selectItem(s.argument, false);
            break;
        case REMOVE:
            list->removeItem(s.argument);
            break;
        case WHEEL:
            rig.wheel(150, 50, s.argument);
            break;
        }
        EXPECT_EQ(texts(*list), s.texts);
        EXPECT_EQ(list->selectedIndex(), s.selected);
        EXPECT_EQ(rig.page->count(MSG_ITEM_SELECTED), s.selections);
        for (int32_t i = 0; i < list->entryCount(); ++i) {
            CCListBoxItem* item = list->itemAt(i);
            ASSERT_NE(item, nullptr) << i;
            EXPECT_EQ(item->rect(), (CCRect{100, 20 + s.scroll + i * 16, 300, 36 + s.scroll + i * 16})) << i;
            EXPECT_EQ(item->selected(), i == s.selected) << i;
        }
        char buffer[8] = "x";
        EXPECT_EQ(list->selectedText(buffer, sizeof buffer), s.selected >= 0);
        EXPECT_EQ(std::string(buffer), s.selected >= 0 ? s.texts[size_t(s.selected)] : "");
    }
    EXPECT_EQ(rig.page->lastSender(MSG_ITEM_SELECTED), list->itemAt(0));

    // The wheel scrolls an item at a time, as far as there is to scroll.
    list->addItem("g", false);
    list->addItem("h", false); // 6 × 16 = 96 in 80: 16 to scroll
    for (auto [delta, scroll] : {std::pair{-120, -16}, {-120, -16}, {120, 0}, {-1, -16}}) {
        EXPECT_TRUE(rig.wheel(150, 50, delta));
        EXPECT_EQ(list->scrollY(), scroll) << delta;
        EXPECT_EQ(list->itemAt(0)->rect().top, 20 + scroll);
    }
    list->addItem("i", false); // placed below the others, scrolled as they are
    EXPECT_EQ(list->itemAt(6)->rect().top, 20 - 16 + 6 * 16);
}

TEST(Lists, DegenerateSizesStaySound) {
    Rig rig;
    auto* flat = new CCListContainer(41, CCRect{0, 0, 100, 50}, 0, 0, nullptr, 0);
    rig.page->addChild(flat);
    EXPECT_EQ(flat->itemHeight(), 1);
    // Far more items than 8 bits count: each keeps an index of its own.
    auto* long_ = new CCListContainer(42, CCRect{200, 0, 300, 50}, 0, 2, nullptr, 0);
    rig.page->addChild(long_);
    for (int i = 0; i < 300; ++i)
        long_->addItem(std::to_string(i).c_str(), false);
    long_->selectItem(299, false);
    char text[8] = {};
    ASSERT_TRUE(long_->selectedText(text, sizeof text));
    EXPECT_STREQ(text, "299");
    ASSERT_NE(long_->itemAt(256), nullptr);
    EXPECT_STREQ(long_->itemAt(256)->text(), "256");
}

TEST(Lists, DeleteSelectedAsksOnlyWhenSomethingIsSelected) {
    struct Case {
        int selected;
        bool confirmation;
        std::deque<bool> answers;
        bool removed;
        size_t questions;
    } cases[] = {
        {-1, true, {true}, false, 0}, // nothing selected: nothing asked
        {1, true, {false}, false, 1}, // declined: the list as it was
        {1, true, {true}, true, 1},
        {1, false, {}, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.selected << " " << c.confirmation);
        Rig rig;
        auto* list = new CCListContainer(40, CCRect{100, 20, 300, 100}, 0, 16, nullptr, 0);
        rig.page->addChild(list);
        for (const char* text : {"a", "b", "c"})
            list->addItem(text, false);
        list->selectItem(c.selected, false);
        rig.manager.platform.yesNoAnswers = c.answers;
        EXPECT_EQ(list->deleteSelected(c.confirmation), c.removed);
        ASSERT_EQ(rig.manager.platform.questions.size(), c.questions);
        if (c.questions) {
            EXPECT_EQ(rig.manager.platform.questions[0].second, "Are you sure you want to delete ?");
        }
        EXPECT_EQ(texts(*list), c.removed ? (std::vector<std::string>{"a", "c"})
                                          : (std::vector<std::string>{"a", "b", "c"}));
        EXPECT_EQ(list->itemAt(1)->rect().top, 36);
        EXPECT_EQ(list->selectedIndex(), c.removed ? -1 : c.selected);
    }
}

TEST(Lists, DoubleClickEditsAnItemAndReportsTheEdit) {
    Rig rig;
    HeadlessEdits edits(rig.manager.platform, rig.manager);
    auto& opened = rig.manager.platform.editPopupsOpened;
    auto* list = new CCListContainer(40, CCRect{100, 20, 300, 100}, 0, 16, nullptr, 0);
    rig.page->addChild(list);
    list->addItem("first", false);
    CCListBoxItem* item = list->addItem("second", false);
    EXPECT_EQ(item->cursorAt(150, 40), 300);

    rig.manager.send(MSG_LBUTTON_DOUBLE, 150, 40);
    ASSERT_EQ(opened.size(), 1u);
    ASSERT_TRUE(rig.manager.editObject());
    EXPECT_EQ(rig.manager.editObject()->owner(), item);
    EXPECT_EQ(edits.openId(), 40); // the list's tag
    EXPECT_EQ(opened[0].text, "second");
    EXPECT_FALSE(opened[0].password);
    EXPECT_EQ(list->selectedIndex(), 1); // the double click is a press too
    ASSERT_TRUE(edits.finish("  renamed  "));
    EXPECT_STREQ(item->text(), "renamed");
    EXPECT_EQ(rig.page->count(MSG_ITEM_EDITED), 1u);
    EXPECT_EQ(rig.page->lastSender(MSG_ITEM_EDITED), item);
    EXPECT_EQ(rig.page->count(MSG_VALUE_CHANGED), 0u); // an item's text is not a value

    // An edit that is not this item's changes nothing.
    CCMsg foreign(MSG_EDIT_DONE, 41, const_cast<char*>("foreign"));
    EXPECT_FALSE(item->deliverTo(&foreign));
    EXPECT_STREQ(item->text(), "renamed");

    // Not editable by double click: selected, never edited; editRow likewise.
    item->setEditableByDoubleClick(false);
    rig.manager.send(MSG_LBUTTON_DOUBLE, 150, 40);
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_FALSE(list->editRow(1));
    EXPECT_TRUE(list->editRow(0));
    EXPECT_EQ(opened.back().text, "first");
    edits.cancel();
}

TEST(Lists, AnEditEndedForTheNextOneNeverOutlivesItsOwnerOrLosesItsPopup) {
    // The page answers an edited item by removing item 1, or by editing it.
    for (const bool removes : {true, false}) {
        Rig rig;
        HeadlessEdits edits(rig.manager.platform, rig.manager);
        auto* list = new CCListContainer(40, CCRect{100, 20, 300, 100}, 0, 16, nullptr, 0);
        rig.page->addChild(list);
        list->addItem("a", false);
        list->addItem("b", false);
        bool answered = false;
        rig.page->onEdited = [&] {
            if (std::exchange(answered, true))
                return;
            if (removes)
                list->removeItem(1);
            else
                EXPECT_TRUE(list->editRow(1));
        };
        rig.manager.send(MSG_LBUTTON_DOUBLE, 150, 24); // item a
        ASSERT_TRUE(rig.manager.platform.typeIntoEditPopup(&rig.manager.window, "typed"));
        if (removes) {
            // Ending a's edit removes the owner of the edit about to open: it opens none.
            EXPECT_FALSE(list->editRow(1));
            EXPECT_EQ(rig.manager.editObject(), nullptr);
            EXPECT_FALSE(edits.open());
            EXPECT_EQ(texts(*list), (std::vector<std::string>{"typed"}));
        } else {
            // A loss of focus ends a's edit; the edit its handler opens keeps its popup.
            endEdit(&rig.manager);
            ASSERT_TRUE(rig.manager.editObject());
            EXPECT_EQ(rig.manager.editObject()->owner(), list->itemAt(1));
            ASSERT_TRUE(edits.open());
            ASSERT_TRUE(edits.finish("second"));
            EXPECT_EQ(texts(*list), (std::vector<std::string>{"typed", "second"}));
        }
    }
}

TEST(Tables, RowsCarryAButtonAndAnItemAndReportTheirSwitches) {
    Rig rig;
    auto* table = new CCListContainer(50, CCRect{100, 20, 300, 100}, 0, 16, nullptr, 0);
    rig.page->addChild(table);
    CCTableRowContainer* rows[3];
    const bool on[] = {true, false, false};
    for (int i = 0; i < 3; ++i)
        rows[i] = table->addRow(("row " + std::to_string(i)).c_str(), on[i], i != 2, true);
    EXPECT_EQ(rig.page->count(MSG_ITEM_ADDED), 3u);
    EXPECT_EQ(rig.page->lastSender(MSG_ITEM_ADDED), rows[2]);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i]->rowNumber(), i);
        CCOnOffButton* button = rows[i]->button();
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->tag(), i);
        EXPECT_EQ(button->mode(), CCOnOffButton::MODE_TOGGLE);
        EXPECT_EQ(button->value(), on[i] ? 1 : 0);
        const int top = 20 + i * 16;
        EXPECT_EQ(button->rect(), (CCRect{100, top + 3, 110, top + 13})); // 10 square, centred
        EXPECT_EQ(rows[i]->item()->rect(), (CCRect{113, top, 300, top + 16}));
        EXPECT_EQ(rows[i]->item()->editableByDoubleClick(), i != 2);
    }
    EXPECT_EQ(rig.page->count(MSG_VALUE_CHANGED), 0u); // set without notification

    // A click on row 1's button: 536 with the row and its new state, no 514 beyond.
    for (bool expected : {true, false}) {
        ASSERT_TRUE(rig.manager.click(104, 43));
        ASSERT_FALSE(rig.page->switches.empty());
        EXPECT_EQ(rig.page->switches.back().row, 1);
        EXPECT_EQ(rig.page->switches.back().on, expected);
        EXPECT_EQ(rig.page->lastFirst(MSG_ROW_SWITCHED), 50);
    }
    EXPECT_EQ(rig.page->count(MSG_ROW_SWITCHED), 2u);
    EXPECT_EQ(rig.page->count(MSG_VALUE_CHANGED), 0u);

    // Row numbers stay with their rows; places and indexes follow the list.
    table->removeRow(0);
    EXPECT_EQ(rows[1]->rect().top, 20);
    EXPECT_EQ(rows[1]->item()->index(), 0);
    CCTableRowContainer* added = table->addRow("row 3", false, true, false);
    EXPECT_EQ(added->rowNumber(), 3);
    EXPECT_EQ(rig.page->count(MSG_ITEM_ADDED), 3u);
    table->selectRow(2, true);
    EXPECT_TRUE(rows[2]->selected());
    EXPECT_EQ(table->selectedIndex(), 1);
    EXPECT_EQ(rig.page->count(MSG_ITEM_SELECTED), 1u);
    FontDescription bold;
    bold.bold = 1;
    table->setItemFont(3, bold);
    EXPECT_EQ(added->item()->getFont(), findFont(bold));
    EXPECT_EQ(added->button()->getFont(), findFont(bold));
    EXPECT_NE(rows[1]->item()->getFont(), findFont(bold));
    EXPECT_TRUE(table->deleteSelected(false));
    EXPECT_EQ(table->entryCount(), 2);
    EXPECT_EQ(added->rect().top, 36);
}

TEST(Panels, MouseOnlyWhenInteractiveModalsAndSplashScreens) {
    Rig rig;
    auto* panel = new CCPanel(CCPoint{10, 10}, 206, 0, nullptr, 0);
    EXPECT_EQ(panel->rect(), (CCRect{10, 10, 100, 40})); // the background's size
    EXPECT_EQ(panel->type(), CCPageObject::kTypeDefault);
    rig.page->addChild(panel);
    EXPECT_FALSE(rig.manager.click(20, 20)); // not interactive: the window would be dragged
    panel->setInteractive(true);
    EXPECT_TRUE(rig.manager.click(20, 20));

    // A modal panel's whole rectangle is its own, whatever covers it.
    CCModalPanel modal(CCRect{0, 0, 100, 100}, 0, 1, 0, nullptr, 0);
    modal.addChild(new CControl(1, 0, 0, 50, 50, 0, 1, 0, nullptr, 0));
    EXPECT_TRUE(modal.hitTest(10, 10));
    EXPECT_EQ(modal.dismissMode(), 1);

    struct Content : CCPageObject {
        explicit Content(bool& gone) : CCPageObject(5, 5, 20, 20), gone_(gone) {}
        ~Content() override { gone_ = true; }
        bool& gone_;
    };
    bool gone = false;
    auto* splash = new CCSplashScreen(CCRect{200, 50, 400, 150}, 0, new Content(gone), nullptr, 0);
    EXPECT_EQ(splash->content()->rect(), (CCRect{205, 55, 220, 70}));
    splash->showModal(nullptr); // no manager: nothing
    EXPECT_EQ(rig.manager.modalObject(), nullptr);
    splash->showModal(&rig.manager);
    EXPECT_EQ(rig.manager.modalObject(), splash);
    EXPECT_EQ(splash->dismissMode(), 2);
    CCMouseMsg probe = rig.manager.mouse(MSG_PRESS_PROBE, 300, 100);
    rig.manager.dispatchMessage(&probe);
    EXPECT_EQ(probe.sender, splash); // claimed: no window drag under a splash
    rig.manager.send(MSG_LBUTTON_DOWN, 300, 100);
    EXPECT_EQ(rig.manager.modalObject(), nullptr);
    EXPECT_EQ(rig.page->count(MSG_MODAL_CLOSED), 1u);
    EXPECT_TRUE(gone); // destroyed with its content
}
