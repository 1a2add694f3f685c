// Whole pictures of every control family in its states, drawn through the page
// tree exactly as the window draws them, compared pixel for pixel with tests/golden.
#include "../framework/Golden.h"
#include "../support/PageSupport.h"

#include "CCBitmapCache.h"
#include "CCButtons.h"
#include "CCFont.h"
#include "CCLists.h"
#include "CCPage.h"
#include "CCPanels.h"
#include "CCSelectors.h"
#include "CCSwitch.h"
#include "CCTextCtrl.h"
#include "CCTextDisplays.h"
#include "CCValueDisplays.h"

#include <gtest/gtest.h>

#include <string>

namespace {

CCFont* arial(int size, uint8_t red, uint8_t green, uint8_t blue) {
    FontDescription d;
    d.size = uint8_t(size);
    d.red = red, d.green = green, d.blue = blue;
    return findFont(d);
}

// Every fade runs to its end.
void settle(TestManager& manager) {
    manager.clock.now += 100000;
    manager.animator().runPass();
}

void render(TestManager& manager) {
    settle(manager);
    manager.redrawRect(CCRect{0, 0, 480, 240}, nullptr);
}

class SheetPage : public CCPage {
public:
    SheetPage() : CCPage(0, 0, 0, 480, 240, 0) {}
    void drawPageContents(CCDrawContext* context) override {
        context->fillRect(CCBrush{48, 56, 64, 255}, CCRect{0, 0, 479, 239});
    }
};

} // namespace

TEST(ControlSheets, Displays) {
    TestManager manager;
    auto* page = new SheetPage;
    manager.addChild(page);
    CCFont* white = arial(11, 255, 255, 255);
    CCFont* dark = arial(11, 20, 20, 30);

    auto* wide = new CCTextCtrl(1, CCRect{10, 10, 240, 28}, 202, nullptr, 0); // wider than its bitmap
    auto* narrow = new CCTextCtrl(2, CCRect{10, 34, 110, 52}, 202, nullptr, 0);
    auto* secret = new CCTextCtrl(3, CCPoint{120, 34}, 202, nullptr, 0);
    for (CCTextCtrl* field : {wide, narrow, secret}) {
        field->setFont(dark);
        page->addChild(field);
    }
    wide->setText("A text field", false);
    narrow->setText("Narrow", false);
    narrow->setAlignment(ALIGN_CENTRE);
    secret->setPassword(true);
    secret->setText("abc", false);
    narrow->setHighlightColour(255, 200, 120);
    CCMouseMsg over = manager.mouse(MSG_MOUSE_MOVE, 20, 40);
    narrow->deliverTo(&over); // tinted while hovered

    auto* label = new CCStaticTextCtrl(4, CCRect{250, 10, 470, 28}, white, 0, nullptr, 0);
    page->addChild(label);
    label->setText("Static text, right aligned");
    label->setAlignment(ALIGN_RIGHT);
    auto* lines = new CCMultiLineTextCtrl(5, CCRect{340, 30, 470, 80}, 0, nullptr, 0);
    lines->setFont(white);
    page->addChild(lines);
    const char* three[] = {"First line", "Second line", "Third line, cut by the box"};
    lines->setLines(three, 3);
    page->addChild(new CCVersion(CCRect{10, 60, 200, 100}, 13, white, 0x01230005, "First", "Second", true));
    page->addChild(new CCVersionSimple(CCRect{10, 100, 200, 114}, white, 0x01200000, false));
    CCVersionTextCtrl::setHostVersion(0x01300000);
    auto* host = new CCVersionTextCtrl(6, CCRect{120, 100, 200, 114}, 0, nullptr, 0);
    host->setFont(white);
    page->addChild(host);

    for (int i = 0; i < 3; ++i) {
        auto* bar = new CCSimpleProgress(7, CCPoint{10, 120 + i * 22}, 202, 203, 0, 100, nullptr, 0);
        page->addChild(bar);
        bar->setValue(i * 50, false, false, false);
    }
    for (int i = 0; i < 3; ++i)
        page->addChild(new CCIndicator(8, CCPoint{230 + i * 40, 90}, 206, 3, i, nullptr, 0));
    auto* byWidth = new CCIndicator(9, 350, 90, 380, 120, 206, 9, nullptr, 0); // clamped: last cell
    page->addChild(byWidth);
    auto* graph = new CCBargraph(0, 230, 125, 470, 155, 0, 9, 7, 0, nullptr, 0);
    page->addChild(graph);
    for (int i = 0; i < 3; ++i)
        graph->addSegment(i * 35, 0, i * 35 + 30, 30, 206, 3);
    const int leds[] = {206, 206, 206};
    auto* ledArray = new CCLedArray(10, 5, 195, 300, 235, leds, 3, 95, nullptr, 0);
    page->addChild(ledArray);
    ledArray->setValue(5, false, false, false);
    auto* viewer = new CCImageViewer(11, CCRect{300, 200, 470, 235}, 0, nullptr, 0);
    page->addChild(viewer);
    CCBitmap* art = bitmapCache().getBitmap(205);
    viewer->setImage(art);
    bitmapCache().release(art);

    render(manager);
    render(manager); // the bar graph lights its lamps as it is drawn
    EXPECT_EQ(graph->litCount(), 2);
    expectGolden("controls_displays", manager.image);
}

TEST(ControlSheets, Buttons) {
    TestManager manager;
    auto* page = new SheetPage;
    manager.addChild(page);
    CCFont* white = arial(11, 255, 255, 255);

    // On/off buttons: off, on, hovered, pressed; plain and with a tinted overlay.
    for (int state = 0; state < 4; ++state) {
        auto* plain = new CCOnOffButton(1, CCPoint{5 + state * 95, 5}, 204, 3, CCOnOffButton::MODE_TOGGLE,
                                        state == 1, nullptr, 0);
        auto* tinted = new CCOnOffButton(2, CCPoint{5 + state * 95, 35}, 204, 205, 3, CCOnOffButton::MODE_TOGGLE,
                                         state == 1, CCColour{90, 90, 255, 255}, CCColour{255, 120, 60, 255},
                                         CCColour{120, 255, 120, 255}, nullptr, 0);
        for (CCOnOffButton* button : {plain, tinted}) {
            page->addChild(button);
            CCMouseMsg msg = manager.mouse(state == 3 ? MSG_LBUTTON_DOWN : MSG_MOUSE_MOVE,
                                           button->rect().left + 3, button->rect().top + 3);
            if (state >= 2)
                button->deliverTo(&msg);
        }
    }
    auto* simple = new CSimpleButton(3, CCPoint{385, 5}, 206, 3, CCOnOffButton::MODE_TOGGLE, 1, nullptr, 0);
    page->addChild(simple);
    auto* flashing = new CCFlashingOnOffButton(4, 385, 40, 415, 70, 206, CCOnOffButton::MODE_TOGGLE, 1, nullptr, 0);
    flashing->setFlashPhase(1);
    page->addChild(flashing);
    auto* pulse = new CCPulseButton(5, 5, 70, 90, 94, 204, CCOnOffButton::MODE_TOGGLE, 0, nullptr, 0);
    page->addChild(pulse);
    pulse->setValue(1, false, true, false);
    manager.advance(50 * 6); // phase 120 of 255

    auto* text = new CCTextButton(6, CCRect{100, 75, 190, 93}, white, arial(11, 255, 220, 0), 202, nullptr, 0);
    page->addChild(text);
    text->setText("Text");
    text->setAlignment(ALIGN_CENTRE);
    auto* hovered = new CCTextButton(7, CCRect{200, 75, 290, 93}, white, arial(11, 255, 220, 0), 202, nullptr, 0);
    page->addChild(hovered);
    hovered->setText("Hover");
    hovered->setAlignment(ALIGN_CENTRE);
    CCMouseMsg overText = manager.mouse(MSG_MOUSE_MOVE, 210, 80);
    hovered->deliverTo(&overText);

    for (int value = 0; value < 3; ++value) {
        auto* knob = new CCSwitch(8, 5 + value * 90, 110, 90 + value * 90, 134, value, 85, 205, false, 3, nullptr, 0);
        page->addChild(knob);
    }
    auto* group = new CCRadioButton(9, CCRect{5, 145, 290, 175}, 0, nullptr, 0);
    page->addChild(group);
    for (int i = 0; i < 3; ++i) {
        auto* member = new CCOnOffButton(20 + i, CCPoint{i * 95, 0}, 204, 3, CCOnOffButton::MODE_TOGGLE, 0, nullptr, 0);
        group->addChild(member);
        group->addMember(member);
    }
    group->setValue(2, false, true, false);

    auto* menuButton = new CCButtonMenu(10, CCRect{300, 110, 385, 134}, 205, CCOnOffButton::MODE_CLICK, nullptr, 0);
    page->addChild(menuButton);
    auto* selector = new CCMenuSelector(11, 300, 145, 470, 163, 202, 0, 0, nullptr, 0);
    selector->setFont(arial(11, 20, 20, 30));
    selector->setArrowBitmap(203);
    page->addChild(selector);
    const char* items[] = {"First item", "Second item"};
    selector->setItems(items, 2);
    selector->setValue(1, false, true, false);
    auto* centred = new CCMenuSelectorEx(12, 300, 180, 400, 198, 202, nullptr, 0); // narrower: two parts
    centred->setFont(arial(11, 20, 20, 30));
    centred->setAlignment(ALIGN_CENTRE);
    centred->addItem(3, "Three");
    page->addChild(centred);
    centred->setValue(3, false, true, false);

    render(manager);
    expectGolden("controls_buttons", manager.image);
}

// Panels framed by the scroller artwork (arrow corners, thumb edges: no band is a
// whole number of tiles, so every edge ends in a cut tile), and a list and a table
// each with its scroller.
TEST(ControlSheets, Containers) {
    TestManager manager;
    auto* page = new SheetPage;
    manager.addChild(page);
    const auto frame = [](CCPanel* panel, int right, int bottomRight, uint8_t alpha) {
        panel->setFrame(1004, 1005, right, 1005, 1002, 1001, 1000, bottomRight, alpha);
    };
    auto* framed = new CCPanel(CCRect{10, 10, 210, 110}, 0, 0, nullptr, 0);
    frame(framed, 1004, 1003, 255);
    page->addChild(framed);
    auto* filled = new CCPanel(1, CCRect{220, 10, 330, 110}, 206, 0, nullptr, 0); // background under the frame
    filled->setFillColour(CCBrush{242, 245, 248, 255});
    frame(filled, 1004, 1003, 128);
    page->addChild(filled);
    auto* edgeless = new CCPanel(CCRect{10, 125, 110, 230}, 0, 0, nullptr, 0); // an edge missing: no frame
    edgeless->setFillColour(CCBrush{90, 110, 140, 255});
    frame(edgeless, 0, 1003, 255);
    page->addChild(edgeless);
    auto* cornerless = new CCPanel(CCRect{125, 125, 285, 230}, 0, 0, nullptr, 0); // a corner missing: none
    frame(cornerless, 1004, 0, 255);
    page->addChild(cornerless);

    FontDescription dark;
    dark.size = 11;
    dark.red = 20, dark.green = 20, dark.blue = 30;
    auto* list = new CCListContainer(2, CCRect{300, 125, 450, 215}, 0, 16, nullptr, 0);
    list->setFillColour(CCBrush{255, 255, 255, 255});
    list->setItemFontDescription(dark);
    page->addChild(list);
    for (const char* text : {"Alpha", "Bravo", "Charlie", "Delta", "Echo", "Foxtrot", "Golf", "Hotel"})
        list->addItem(text, false);
    list->selectItem(2, false);
    list->scrollPages(0, -1);
    auto* table = new CCListContainer(3, CCRect{345, 10, 450, 100}, 0, 16, nullptr, 0);
    table->setFillColour(CCBrush{255, 255, 255, 255});
    table->setItemFontDescription(dark);
    page->addChild(table);
    for (int i = 0; i < 7; ++i)
        table->addRow(("Row " + std::to_string(i)).c_str(), i % 3 == 0, true, false);

    render(manager);
    expectGolden("controls_containers", manager.image);
}
