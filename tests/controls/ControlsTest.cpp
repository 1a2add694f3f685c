#include "../support/HeadlessEdits.h"
#include "../support/PageSupport.h"

#include "CCButtons.h"
#include "CCEditCtrl.h"
#include "CCSelectors.h"
#include "CCSwitch.h"
#include "CCTextCtrl.h"
#include "CCTextDisplays.h"
#include "CCValueDisplays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

// A page that keeps every value report and every parameter message its controls see.
class RecordingPage : public Probe {
public:
    RecordingPage() : Probe(0, 0, 480, 240) {}
    int handleMessage(CCMsg* msg) override {
        if (msg->code == MSG_VALUE_CHANGED)
            reports.push_back({msg->first, msg->second});
        return Probe::handleMessage(msg);
    }
    std::vector<std::pair<int, int>> reports; // tag, value
};

class ParameterSpy : public CControl {
public:
    ParameterSpy(int tag) : CControl(tag, 0, 0, 5, 5, 0, 1, 0, nullptr, 0) {}
    int onParameterMessage(CCMsg* msg) override {
        seen.push_back(msg->code);
        return 0;
    }
    std::vector<uint16_t> seen;
};

struct Rig {
    Rig() {
        page = new RecordingPage;
        manager.addChild(page);
    }
    template <class T> T* add(T* control) {
        page->addChild(control);
        return control;
    }
    TestManager manager;
    RecordingPage* page;
};

} // namespace

TEST(ControlValue, RangeMappingAndClamping) {
    struct Mapping {
        int minimum, maximum;
        float x;
        int expected;
    } mappings[] = {
        {0, 127, 0.5f, 63},    // 63.5: a tie stays with the integral part
        {0, 127, 0.504f, 64},
        {-10, 10, 0.5f, 0},    // span 20
        {-5, 10, 0.5f, 5},     // span 2 × max(5, 10) = 20
        {0, 127, 1.0f, 127},
        {5, 5, 0.5f, 5},       // an empty range maps with span 1
        {0, 100, -0.2f, -20},  // below: the caller's value is clamped later
    };
    for (const Mapping& m : mappings) {
        CControl control(1, 0, 0, 1, 1, m.minimum, m.maximum, m.minimum, nullptr, 0);
        EXPECT_EQ(control.fromNormalized(m.x), m.expected) << m.minimum << ".." << m.maximum << " " << m.x;
    }
    CControl bipolar(1, 0, 0, 1, 1, -10, 10, 0, nullptr, 0);
    EXPECT_FLOAT_EQ(bipolar.toNormalized(0), 0.5f);
    EXPECT_FLOAT_EQ(bipolar.toNormalized(-10), 0.0f);
    EXPECT_FLOAT_EQ(bipolar.toNormalized(10), 1.0f);
    EXPECT_EQ(bipolar.fromNormalized(1e30f), 2147483646); // no overflow on wild input

    struct Store {
        int minimum, maximum;
        bool wrap;
        int given, stored;
    } stores[] = {{0, 3, false, 5, 3}, {0, 3, true, 5, 0}, {0, 3, false, -1, 0}, {0, 3, true, -1, 3},
                  {2, 2, false, 9, 9}}; // equal ends: not clamped at all
    for (const Store& s : stores) {
        CControl control(1, 0, 0, 1, 1, s.minimum, s.maximum, s.minimum, nullptr, 0);
        control.setWrap(s.wrap);
        control.setValue(s.given, false, false, false);
        EXPECT_EQ(control.value(), s.stored) << s.given << (s.wrap ? " wrap" : " clamp");
    }
}

TEST(ControlValue, ReportsAndRedrawsOnlyChanges) {
    Rig rig;
    auto* control = rig.add(new CControl(9, 10, 10, 30, 30, 0, 10, 0, nullptr, 0));
    control->setValue(4, true, true, false);
    ASSERT_EQ(rig.page->reports.size(), 1u);
    EXPECT_EQ(rig.page->reports[0], std::make_pair(9, 4));
    const size_t presents = rig.manager.presents.size();
    control->setValue(4, true, true, false); // the same value: nothing at all
    EXPECT_EQ(rig.page->reports.size(), 1u);
    EXPECT_EQ(rig.manager.presents.size(), presents);
    control->resendValue(true, false, false); // forced: reported, not drawn
    EXPECT_EQ(rig.page->reports.size(), 2u);
    EXPECT_EQ(rig.manager.presents.size(), presents);
    EXPECT_TRUE(control->changedNotDrawn());
    control->setValueRaw(2.75f, true, true, false);
    EXPECT_EQ(control->value(), 2);
    EXPECT_FALSE(control->rawMode());

    // With a listener the report goes there, not up the tree.
    const size_t upwards = rig.page->reports.size();
    Probe listener(0, 0, 1, 1, 1);
    auto* listened = rig.add(new CControl(10, 40, 10, 50, 20, 0, 1, 0, &listener, 0));
    listened->setValue(1, true, true, false);
    EXPECT_EQ(listener.codes.back(), MSG_VALUE_CHANGED);
    EXPECT_EQ(rig.page->reports.size(), upwards);

    // 513 reaches every parameter hook when addressed to 0, only tag 7 when to 7.
    auto* seven = rig.add(new ParameterSpy(7));
    auto* eight = rig.add(new ParameterSpy(8));
    CCMsg all(MSG_PARAMETER, 0, 0.5f, true);
    rig.manager.dispatchMessage(&all);
    CCMsg toSeven(MSG_PARAMETER, 7, 0.5f, true);
    rig.manager.dispatchMessage(&toSeven);
    EXPECT_EQ(seven->seen.size(), 2u);
    EXPECT_EQ(eight->seen.size(), 1u);
    toSeven.disable = true; // and it disables the addressed control
    rig.manager.dispatchMessage(&toSeven);
    EXPECT_FALSE(seven->enabled());
}

TEST(ControlMouse, DisabledControlTracksHoverButIgnoresPresses) {
    Rig rig;
    auto* button = rig.add(new CCOnOffButton(13, CCPoint{100, 100}, 204, 3, CCOnOffButton::MODE_TOGGLE, 0,
                                             nullptr, 0));
    button->setEnabled(false, 48);
    CCMouseMsg move = rig.manager.mouse(MSG_MOUSE_MOVE, 110, 110);
    button->deliverTo(&move);
    EXPECT_TRUE(button->hover());
    CCMouseMsg press = rig.manager.mouse(MSG_LBUTTON_DOWN, 110, 110);
    EXPECT_FALSE(button->deliverTo(&press));
    EXPECT_FALSE(button->pressed());
    EXPECT_EQ(rig.manager.hoverObject(), nullptr); // a disabled object is never the hover object
}

TEST(Buttons, EveryModeOverAPressAndARelease) {
    struct Case {
        int mode;
        int initial;
        bool releaseInside;
        int clicks;
        int finalValue;
        std::vector<int> reported;
    } cases[] = {
        {CCOnOffButton::MODE_MOMENTARY, 0, true, 1, 0, {1, 0}},
        {CCOnOffButton::MODE_TOGGLE, 0, true, 1, 1, {1}},
        {CCOnOffButton::MODE_TOGGLE, 0, false, 1, 0, {}}, // released outside: unchanged
        {CCOnOffButton::MODE_TOGGLE, 0, true, 2, 0, {1, 0}},
        {CCOnOffButton::MODE_CLICK, 0, true, 1, 0, {1}}, // reports 1, falls back to 0 silently
        {CCOnOffButton::MODE_CLICK_HOVER, 0, true, 2, 0, {1, 1}},
        {CCOnOffButton::MODE_CLICK, 0, false, 1, 0, {}},
        {CCOnOffButton::MODE_LATCH, 0, true, 2, 1, {1}}, // the second click changes nothing
    };
    for (const Case& c : cases) {
        Rig rig;
        auto* button = rig.add(new CCOnOffButton(13, CCPoint{364, 108}, 204, 3, c.mode, c.initial, nullptr, 0));
        ASSERT_EQ(button->rect(), (CCRect{364, 108, 449, 132}));
        for (int i = 0; i < c.clicks; ++i) {
            CCMouseMsg probe = rig.manager.mouse(MSG_PRESS_PROBE, 370, 110);
            rig.manager.dispatchMessage(&probe);
            ASSERT_EQ(probe.sender, button);
            rig.manager.send(MSG_LBUTTON_DOWN, 370, 110);
            EXPECT_TRUE(button->pressed());
            EXPECT_EQ(button->currentFrame(), 2u); // pressed: the last cell
            rig.manager.send(MSG_LBUTTON_UP, c.releaseInside ? 370 : 10, 110);
            EXPECT_FALSE(button->pressed());
        }
        std::vector<int> reported;
        for (auto [tag, value] : rig.page->reports)
            reported.push_back(value);
        EXPECT_EQ(reported, c.reported) << "mode " << c.mode;
        EXPECT_EQ(button->value(), c.finalValue) << "mode " << c.mode;
    }

    // Mode 4 shows a hover look while the pointer is over it; disabling drops it.
    Rig rig;
    auto* button = rig.add(new CCOnOffButton(13, CCPoint{364, 108}, 204, 3, CCOnOffButton::MODE_CLICK_HOVER,
                                             0, nullptr, 0));
    EXPECT_EQ(button->currentFrame(), 1u);
    rig.manager.send(MSG_MOUSE_MOVE, 370, 110);
    EXPECT_TRUE(button->hoverLook());
    EXPECT_EQ(button->currentFrame(), 0u);
    button->setEnabled(false, 0);
    EXPECT_FALSE(button->hoverLook());

    // Disabled while held down: the release never comes, so the press ends now.
    button->setEnabled(true, 0);
    CCMouseMsg press = rig.manager.mouse(MSG_LBUTTON_DOWN, 370, 110);
    button->deliverTo(&press);
    ASSERT_TRUE(button->pressed());
    button->setEnabled(false, 0);
    EXPECT_FALSE(button->pressed());
    EXPECT_EQ(button->currentFrame(), 1u);
}

TEST(Buttons, SwitchDragsOnePositionPerStep) {
    Rig rig;
    rig.manager.window.x = 1000, rig.manager.window.y = 500;
    // 4 positions over 80 pixels, cells of strip 205 (3 cells of 85).
    auto* knob = rig.add(new CCSwitch(20, 100, 100, 185, 180, 0, 85, 205, true, 4, nullptr, 0));
    CCMouseMsg press = rig.manager.mouse(MSG_LBUTTON_DOWN, 120, 145); // position 2
    rig.manager.dispatchMessage(&press);
    EXPECT_EQ(knob->value(), 2);
    EXPECT_FALSE(rig.manager.platform.cursorShown);
    EXPECT_EQ(rig.manager.captureObject(), knob);
    CCMouseMsg move = rig.manager.mouse(MSG_MOUSE_MOVE, 120, 145);
    move.screenY = press.screenY - 60; // 60 pixels up in one move: one position
    rig.manager.dispatchMessage(&move);
    EXPECT_EQ(knob->value(), 1);
    move.screenY -= 20; // 20 from the new pointer: nothing
    rig.manager.dispatchMessage(&move);
    EXPECT_EQ(knob->value(), 1);
    move.screenY -= 10; // 30 from where the last step was made
    rig.manager.dispatchMessage(&move);
    EXPECT_EQ(knob->value(), 0);
    move.screenY -= 100;
    rig.manager.dispatchMessage(&move);
    EXPECT_EQ(knob->value(), 0); // clamped at the end
    rig.manager.send(MSG_LBUTTON_UP, 120, 145);
    EXPECT_EQ(rig.manager.captureObject(), nullptr);
    EXPECT_TRUE(rig.manager.platform.cursorShown);
    // Shown again over the knob of position 0: horizontal centre, top.
    EXPECT_EQ(rig.manager.platform.cursorX, 1000 + 142);
    EXPECT_EQ(rig.manager.platform.cursorY, 500 + 100);
    CCMouseMsg wheel = rig.manager.mouse(MSG_MOUSE_WHEEL, 120, 145);
    wheel.first = -120;
    rig.manager.dispatchMessage(&wheel);
    EXPECT_EQ(knob->value(), 1);
}

TEST(ControlMessages, EnableAndViewSelectionReachTheTagTheyName) {
    // Dispatched down the tree: a control with another tag must let them pass.
    Rig rig;
    auto* first = rig.add(new CControl(5, 0, 0, 10, 10, 0, 1, 0, nullptr, 0));
    auto* named = rig.add(new CControl(6, 20, 0, 60, 40, 0, 1, 0, nullptr, 0));
    auto* view1 = new CCPageObject(0, 0, 5, 5, nullptr, CCPageObject::kTypeDefault, 1);
    auto* view2 = new CCPageObject(0, 0, 5, 5, nullptr, CCPageObject::kTypeDefault, 2);
    named->addChild(view1);
    named->addChild(view2);
    struct Case {
        uint16_t code;
        int32_t first, second;
        bool handled;
    } cases[] = {
        {MSG_SELECT_VIEW, 2, 6, true}, // the group mask, then the tag
        {MSG_SET_ENABLED, 99, 0, false},
        {MSG_SELECT_VIEW, 1, 99, false},
        {MSG_SET_ENABLED, 6, 0, true}, // the tag, then the state
    };
    for (const Case& c : cases) {
        CCMsg msg(c.code, c.first, c.second, false);
        EXPECT_EQ(rig.manager.dispatchMessage(&msg), c.handled) << c.code << " " << c.first;
    }
    EXPECT_FALSE(view1->visible());
    EXPECT_TRUE(view2->visible());
    EXPECT_TRUE(first->enabled());
    EXPECT_FALSE(named->enabled());
}

TEST(Buttons, RadioGroupSelectsOneMember) {
    Rig rig;
    auto* group = rig.add(new CCRadioButton(30, CCRect{0, 0, 300, 40}, 0, nullptr, 0));
    CCOnOffButton* members[3];
    for (int i = 0; i < 3; ++i) {
        members[i] = new CCOnOffButton(31 + i, CCPoint{i * 90, 0}, 204, 3, CCOnOffButton::MODE_TOGGLE, 0,
                                       nullptr, 0);
        group->addChild(members[i]);
        group->addMember(members[i]);
    }
    group->setValue(1, true, true, false);
    EXPECT_EQ(members[1]->value(), 1);
    group->setValue(5, true, true, false); // 3 members: ignored
    EXPECT_EQ(group->value(), 1);
    EXPECT_EQ(members[1]->value(), 1);
    rig.manager.click(10, 10); // member 0 turns on; the others go off
    EXPECT_EQ(members[0]->value(), 1);
    EXPECT_EQ(members[1]->value(), 0);
    EXPECT_EQ(group->value(), 0);
    // 544 enables the members named by its bit mask.
    CCMsg held(MSG_HELD, 0b101, 30, true);
    group->deliverTo(&held);
    EXPECT_TRUE(members[0]->enabled());
    EXPECT_FALSE(members[1]->enabled());
    EXPECT_TRUE(members[2]->enabled());
}

TEST(Buttons, GroupsForgetMembersThatLeave) {
    Rig rig;
    auto* group = rig.add(new CCRadioButton(30, CCRect{0, 0, 300, 40}, 0, nullptr, 0));
    auto* panel = new CCPageObject(180, 0, 300, 40); // a member below a child
    group->addChild(panel);
    CCOnOffButton* members[3];
    for (int i = 0; i < 3; ++i) {
        members[i] = new CCOnOffButton(31 + i, CCPoint{i * 90, 0}, 204, 3, CCOnOffButton::MODE_TOGGLE, 0,
                                       nullptr, 0);
        (i == 2 ? panel : static_cast<CCPageObject*>(group))->addChild(members[i]);
        group->addMember(members[i]);
    }
    delete group->removeChild(members[1]);
    EXPECT_EQ(group->memberCount(), 2u);
    delete group->removeChild(panel); // takes members[2] with it
    EXPECT_EQ(group->memberCount(), 1u);
    group->setValue(0, true, true, false); // reaches only the one left
    EXPECT_EQ(members[0]->value(), 1);
    group->setValue(1, true, true, false); // no second member any more
    EXPECT_EQ(group->value(), 0);
    rig.manager.click(10, 10);

    // Removing lit or unlit segments keeps the lit count true to what is left.
    struct Case {
        int value, removed, litAfter;
    } cases[] = {{9, 0, 2}, {0, 1, 0}, {3, 0, 0}, {3, 2, 1}, {6, 1, 1}};
    for (const Case& c : cases) {
        auto* graph = rig.add(new CCBargraph(0, 0, 100, 300, 130, 0, 9, 0, 0, nullptr, 0));
        CCIndicator* segments[3];
        for (int i = 0; i < 3; ++i)
            segments[i] = graph->addSegment(i * 90, 0, i * 90 + 85, 24, 206, 2);
        graph->setValue(c.value, false, true, false); // lamps change when it draws
        delete graph->removeChild(segments[c.removed]);
        EXPECT_EQ(graph->litCount(), c.litAfter) << c.value << " " << c.removed;
        graph->setValue(0, false, true, false); // only the lamps left are put out
        EXPECT_EQ(graph->litCount(), 0) << c.value << " " << c.removed;
        delete rig.page->removeChild(graph);
    }
}

TEST(Buttons, MenusOpenThroughThePopup) {
    Rig rig;
    auto* empty = rig.add(new CCButtonMenu(40, CCRect{0, 0, 85, 24}, 204, CCOnOffButton::MODE_CLICK, nullptr, 0));
    rig.manager.platform.popupAnswers = {1};
    rig.manager.click(10, 10);
    EXPECT_TRUE(rig.manager.platform.menus.empty()); // no items: nothing opens
    EXPECT_EQ(rig.manager.platform.popupAnswers.size(), 1u);
    const char* sizes[] = {"Small", "Medium", "Large"};
    empty->setItems(sizes, 3);
    rig.manager.platform.popupAnswers = {3};
    rig.manager.click(10, 10);
    EXPECT_EQ(empty->value(), 2);
    ASSERT_EQ(rig.manager.platform.menus.size(), 1u);
    EXPECT_EQ(rig.manager.platform.menus[0].items[2].text, "Large");

    auto* selector = rig.add(new CCMenuSelector(41, 100, 0, 200, 20, 0, 0, 0, nullptr, 0));
    selector->setItems(sizes, 3);
    rig.manager.platform.popupAnswers = {2};
    rig.manager.send(MSG_LBUTTON_DOWN, 150, 10);
    EXPECT_EQ(selector->value(), 1);
    EXPECT_EQ(rig.page->reports.back(), std::make_pair(41, 1));
    rig.manager.platform.popupAnswers = {}; // dismissed: nothing changes
    rig.manager.send(MSG_LBUTTON_DOWN, 150, 10);
    EXPECT_EQ(selector->value(), 1);
    EXPECT_TRUE(rig.manager.platform.menus.back().items[1].checked);
    char text[8];
    EXPECT_STREQ(selector->getText(text, sizeof text), "Medium");

    auto* tree = rig.add(new CCMenuSelectorEx(42, 300, 0, 400, 20, 0, nullptr, 0));
    auto* more = new CCMenuSelectorEx(0, 0, 0, 1, 1, 0, nullptr, 0);
    more->addItem(20, "Twenty");
    more->addItem(21, "Twenty-one");
    tree->addItem(10, "Ten");
    tree->addItem(CCMenuSelectorEx::kSeparator, "");
    tree->addItem(11, "More", more);
    rig.manager.platform.popupAnswers = {21};
    rig.manager.send(MSG_LBUTTON_DOWN, 350, 10);
    EXPECT_EQ(tree->value(), 21);
    const auto& menu = rig.manager.platform.menus.back().items;
    ASSERT_EQ(menu.size(), 3u);
    EXPECT_TRUE(menu[1].separator);
    EXPECT_EQ(menu[2].submenu.size(), 2u);
    EXPECT_EQ(tree->selectedText(), "Twenty-one");
    CCMouseMsg wheel = rig.manager.mouse(MSG_MOUSE_WHEEL, 350, 10);
    wheel.first = 120; // back: past the separator, into the sub-menu's order
    rig.manager.dispatchMessage(&wheel);
    EXPECT_EQ(tree->value(), 20);
    rig.manager.dispatchMessage(&wheel);
    EXPECT_EQ(tree->value(), 10);
}

// A field edits for the control it shows, and for itself once that control has
// given it up.
TEST(TextControls, ALinkedFieldEditsForItsControlOnlyWhileLinked) {
    Rig rig;
    HeadlessEdits edits(rig.manager.platform, rig.manager);
    auto* first = rig.add(new CCTextCtrl(50, CCRect{10, 10, 100, 28}, 202, nullptr, 0));
    auto* second = rig.add(new CCTextCtrl(51, CCRect{110, 10, 190, 28}, 202, nullptr, 0));
    auto* control = rig.add(new CCTextCtrl(70, CCRect{200, 10, 290, 28}, 202, nullptr, 0));
    control->setLinkedDisplay(first);
    rig.manager.click(20, 15);
    EXPECT_EQ(edits.openId(), 70);
    edits.cancel();

    control->setLinkedDisplay(second);
    rig.manager.click(20, 15);
    EXPECT_EQ(edits.openId(), 50);
    edits.cancel();

    // The field given up must not point at the control once it is gone.
    rig.page->removeChild(control);
    delete control;
    rig.manager.click(20, 15);
    EXPECT_EQ(edits.openId(), 50);
    EXPECT_TRUE(edits.finish("7"));
    EXPECT_STREQ(first->text(), "7");
}

TEST(TextControls, EditingAndLines) {
    Rig rig;
    HeadlessEdits edits(rig.manager.platform, rig.manager);
    auto& opened = rig.manager.platform.editPopupsOpened;
    auto* field = rig.add(new CCTextCtrl(50, CCRect{10, 10, 100, 28}, 202, nullptr, 0));
    field->setText("abc", true);
    rig.manager.click(20, 15);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(edits.openId(), 50);
    EXPECT_EQ(opened[0].text, "abc");
    EXPECT_EQ(opened[0].fontHeight, 10);
    EXPECT_EQ(opened[0].maxLength, 127) << "the edit holds 127 characters";
    EXPECT_TRUE(edits.finish("  12.5\t "));
    EXPECT_STREQ(field->text(), "12.5");
    EXPECT_EQ(rig.page->reports.back().first, 50); // the number became its value
    EXPECT_FALSE(edits.finish("x"));                // nothing open any more
    rig.manager.click(20, 15);
    EXPECT_TRUE(edits.finish("   ")); // all spaces: a cancel, the text stays
    EXPECT_STREQ(field->text(), "12.5");
    EXPECT_EQ(std::count(rig.page->codes.begin(), rig.page->codes.end(), MSG_EDIT_CANCEL), 1);
    // Escape: the owner hears 526 once, and the edit object is gone.
    rig.manager.click(20, 15);
    EXPECT_TRUE(edits.cancel());
    endEdit(&rig.manager); // the focus loss that follows Escape
    EXPECT_EQ(rig.manager.editObject(), nullptr);
    EXPECT_EQ(std::count(rig.page->codes.begin(), rig.page->codes.end(), MSG_EDIT_CANCEL), 2);
    // A field too small for a character still gets a popup it fits in.
    auto* tiny = rig.add(new CCTextCtrl(52, CCRect{300, 10, 305, 14}, 0, nullptr, 0));
    rig.manager.click(301, 11);
    EXPECT_EQ(opened.back().rect.right - opened.back().rect.left, 16);
    EXPECT_EQ(opened.back().rect.bottom - opened.back().rect.top, 17);
    edits.cancel();
    (void)tiny;

    // A field removed while its edit is open hears nothing back.
    rig.manager.click(20, 15);
    rig.page->removeChild(field);
    delete field;
    EXPECT_TRUE(edits.finish("late"));
    field = rig.add(new CCTextCtrl(50, CCRect{10, 10, 100, 28}, 202, nullptr, 0));

    // A field sticking out of its parent opens nothing.
    const size_t before = opened.size();
    auto* box = rig.add(new Probe(200, 200, 260, 220));
    auto* outside = new CCTextCtrl(51, CCRect{40, 0, 100, 18}, 0, nullptr, 0);
    box->addChild(outside);
    CCMouseMsg press = rig.manager.mouse(MSG_LBUTTON_DOWN, 250, 205);
    outside->deliverTo(&press);
    EXPECT_EQ(opened.size(), before);

    std::string big(400, 'y');
    field->setText(big.c_str(), false);
    EXPECT_EQ(std::strlen(field->text()), 255u);

    auto* lines = rig.add(new CCMultiLineTextCtrl(14, CCRect{50, 80, 340, 190}, 0, nullptr, 0));
    const char* five[] = {"a", "b", "c", "d", "e"};
    lines->setLines(five, 5);
    EXPECT_EQ(lines->lines().size(), 5u);
    lines->setLines(nullptr, 3);
    EXPECT_TRUE(lines->lines().empty());

    EXPECT_EQ(versionText(0x01200000, false), "1.2.0");
    EXPECT_EQ(versionText(0x01230005, true), "1.2.3.5 BETA");
    EXPECT_EQ(CCVersionTextCtrl::format(0x01230005), "1.23beta05");
    EXPECT_EQ(CCVersionTextCtrl::format(0x01200000), "1.20");
}

TEST(TextControls, OpeningASecondEditEndsTheFirst) {
    // The first field hears exactly one ending: its text committed, or a cancel
    // when it is blank; then the second edit answers its own field.
    struct Field : CCTextCtrl {
        Field(int32_t tag, int left) : CCTextCtrl(tag, CCRect{left, 10, left + 80, 28}, 202, nullptr, 0) {}
        int onParameterMessage(CCMsg* msg) override {
            if (msg->code == MSG_EDIT_DONE || msg->code == MSG_EDIT_CANCEL)
                heard.push_back(msg->code);
            return CCTextCtrl::onParameterMessage(msg);
        }
        std::vector<uint16_t> heard;
    };
    struct Case {
        const char* text;
        uint16_t ending;
    } cases[] = {{"abc", MSG_EDIT_DONE}, {"  ", MSG_EDIT_CANCEL}, {"", MSG_EDIT_CANCEL}};
    for (const Case& c : cases) {
        Rig rig;
        HeadlessEdits edits(rig.manager.platform, rig.manager);
        auto* first = rig.add(new Field(50, 10));
        auto* second = rig.add(new Field(51, 200));
        first->setText(c.text, false);
        rig.manager.click(20, 15);
        rig.manager.click(210, 15);
        EXPECT_EQ(first->heard, std::vector<uint16_t>{c.ending}) << '"' << c.text << '"';
        EXPECT_EQ(edits.openId(), 51);
        EXPECT_TRUE(edits.finish("7"));
        EXPECT_EQ(second->heard, std::vector<uint16_t>{MSG_EDIT_DONE});
        EXPECT_EQ(first->heard.size(), 1u);
        EXPECT_EQ(rig.manager.editObject(), nullptr);
        EXPECT_EQ(rig.manager.platform.editPopupsOpened[0].text, c.text);
    }
    {
        // Typed but not confirmed: a second edit commits what the first holds.
        Rig rig;
        HeadlessEdits edits(rig.manager.platform, rig.manager);
        auto* first = rig.add(new Field(50, 10));
        rig.add(new Field(51, 200));
        rig.manager.click(20, 15);
        rig.manager.platform.typeIntoEditPopup(&rig.manager.window, " typed ");
        rig.manager.click(210, 15);
        EXPECT_STREQ(first->text(), "typed");
        EXPECT_EQ(first->heard, std::vector<uint16_t>{MSG_EDIT_DONE});
    }
}

TEST(Buttons, PulseRunsOnItsTimerUntilDone) {
    Rig rig;
    auto* pulse = rig.add(new CCPulseButton(60, 0, 0, 85, 24, 204, CCOnOffButton::MODE_TOGGLE, 0, nullptr, 0));
    pulse->setValue(1, false, true, false);
    EXPECT_TRUE(pulse->pulsing());
    rig.manager.advance(50 * 12); // +20 per tick: 255 after 13 ticks
    EXPECT_TRUE(pulse->pulsing());
    rig.manager.advance(50);
    EXPECT_FALSE(pulse->pulsing());
    EXPECT_EQ(pulse->phase(), 255);
    EXPECT_FALSE(rig.manager.platform.timerRunning(&rig.manager.window, pulse->timerId()));
    pulse->setContinuous(true);
    pulse->setValue(0, false, true, false);
    pulse->setValue(1, false, true, false);
    rig.manager.advance(50 * 4); // 64 up per tick: falling after the fourth
    rig.manager.advance(50 * 16);
    EXPECT_TRUE(pulse->pulsing());
    EXPECT_LT(pulse->phase(), 255);
}

TEST(Buttons, EachPulseButtonHasATimerOfItsOwn) {
    Rig rig;
    CCPulseButton* pulses[3];
    for (int i = 0; i < 3; ++i)
        pulses[i] = rig.add(new CCPulseButton(61 + i, i * 90, 0, i * 90 + 85, 24, 204,
                                              CCOnOffButton::MODE_TOGGLE, 0, nullptr, 0));
    pulses[0]->setValue(1, false, true, false);
    rig.manager.advance(100);
    for (CCPulseButton* pulse : pulses)
        pulse->setValue(1, false, true, false);
    for (int i = 0; i < 3; ++i) {
        const uint32_t id = pulses[i]->timerId();
        EXPECT_GE(id, 4097u) << i; // repeating
        for (uint32_t fixed : {4098u, 4099u, 8192u})
            EXPECT_NE(id, fixed) << i;
        for (int j = 0; j < i; ++j)
            EXPECT_NE(id, pulses[j]->timerId()) << i << " " << j;
    }
    pulses[2]->setValue(0, false, true, false); // stops its own timer only
    EXPECT_TRUE(rig.manager.platform.timerRunning(&rig.manager.window, pulses[1]->timerId()));
    rig.manager.advance(50 * 2);
    EXPECT_EQ(pulses[0]->phase(), 80); // four ticks of its own
    EXPECT_EQ(pulses[1]->phase(), 40);
    rig.manager.advance(50 * 9); // the first is done and stops its timer
    EXPECT_FALSE(pulses[0]->pulsing());
    EXPECT_TRUE(pulses[1]->pulsing());
    rig.manager.advance(50 * 2);
    EXPECT_FALSE(pulses[1]->pulsing());
    EXPECT_EQ(pulses[1]->phase(), 255);
    EXPECT_FALSE(pulses[2]->pulsing());
}
