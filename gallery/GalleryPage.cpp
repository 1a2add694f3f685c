#include "GalleryPage.h"

#include "CCButtons.h"
#include "CCDrawContext.h"
#include "CCFont.h"
#include "CCLists.h"
#include "CCPageManager.h"
#include "CCPanels.h"
#include "CCScrolling.h"
#include "CCTextCtrl.h"
#include "CCTextDisplays.h"
#include "CCValueDisplays.h"
#include "CommandTags.h"
#include "GalleryParameters.h"

#include <cstdio>
#include <iterator>

namespace gallery {

namespace {

CCFont* font(int size, bool bold, uint8_t grey) {
    FontDescription d;
    d.size = static_cast<uint8_t>(size);
    d.bold = bold ? 1 : 0;
    d.red = d.green = d.blue = grey;
    return findFont(d);
}

// The update page's bar, following its parameter.
class Meter : public CCSimpleProgress {
public:
    Meter(int32_t tag, const CCRect& rect) : CCSimpleProgress(tag, rect, 203, 0, 100, nullptr, 0) {
        setBackgroundBitmap(202);
    }
    int onParameterMessage(CCMsg* msg) override {
        if (msg->code != MSG_PARAMETER)
            return 0;
        setValueFromParameter(fromNormalized(msg->value), true, false);
        return 1;
    }
};

// A field with a frame drawn in code: the gallery has no artwork of its own.
class Field : public CCTextCtrl {
public:
    Field(int32_t tag, const CCRect& rect, bool editable) : CCTextCtrl(tag, rect, 0, nullptr, 0) {
        setEditable(editable);
        setFont(font(12, false, 20));
        setAlignment(0);
    }
    void drawContents(CCDrawContext* context) override {
        context->fillRect(CCBrush{150, 160, 175, 255}, rect_);
        context->fillRect(CCBrush{245, 246, 248, 255},
                          CCRect{rect_.left + 1, rect_.top + 1, rect_.right - 1, rect_.bottom - 1});
        CCTextCtrl::drawContents(context);
    }
};

CCStaticTextCtrl* label(CCPageObject* parent, const CCRect& rect, const char* text) {
    auto* shown = new CCStaticTextCtrl(CCPageObject::kTypeDefault, rect, font(12, false, 225), 0, nullptr, 0);
    parent->addChild(shown);
    shown->setText(text);
    return shown;
}

// A text button that reports once, when a press on it is released over it: the
// text button also reports the press and the release, which would run an action
// (a delete, a splash screen) twice.
class ActionButton : public CCTextButton {
public:
    ActionButton(int32_t tag, const CCRect& rect)
        : CCTextButton(tag, rect, font(13, true, 200), font(13, true, 255), 0, nullptr, 0) {}
    int onMouse(CCMouseMsg* msg) override {
        if (!usable())
            return 0;
        if (msg->code == MSG_LBUTTON_DOWN && hitTest(msg->x, msg->y)) {
            held_ = true;
            return 1;
        }
        if (msg->code == MSG_LBUTTON_UP && held_) {
            held_ = false;
            if (hitTest(msg->x, msg->y)) {
                setValue(1, true, false, false);
                setValue(0, false, true, false);
            }
            return 1;
        }
        return CCTextButton::onMouse(msg);
    }

private:
    bool held_ = false;
};

CCTextButton* textButton(CCPageObject* parent, int32_t tag, const CCRect& rect, const char* text) {
    CCTextButton* button = tag == kTagClose
                               ? new CCTextButton(tag, rect, font(13, true, 200), font(13, true, 255), 0, nullptr, 0)
                               : new ActionButton(tag, rect);
    parent->addChild(button);
    button->setText(text);
    return button;
}

} // namespace

GalleryPage::GalleryPage() : CCPageObject(0, 0, kWidth, kHeight) {}

void GalleryPage::onMoved() {
    if (!sections_[0])
        build(); // once: when the editor attaches the page
}

void GalleryPage::build() {
    static const char* const names[kSections] = {"Values", "Text", "Lists", "Panels"};
    for (int i = 0; i < kSections; ++i) {
        tabs_[size_t(i)] = textButton(this, kFirstTab + i, CCRect{tabLeft(i), 12, tabLeft(i) + 62, 32}, names[i]);
        auto* section = new CCPageObject(0, 0, kWidth, kHeight);
        addChild(section);
        sections_[size_t(i)] = section;
    }
    textButton(this, kTagClose, CCRect{440, 12, 468, 32}, "X");

    CCPageObject* values = sections_[0];
    label(values, CCRect{24, 60, 110, 78}, "Level");
    level_ = new Field(kLevel, CCRect{120, 58, 260, 78}, true);
    values->addChild(level_);
    label(values, CCRect{24, 96, 110, 114}, "Meter");
    meter_ = new Meter(kMeter, CCRect{120, 96, 329, 114});
    values->addChild(meter_);
    label(values, CCRect{24, 132, 110, 150}, "Power");
    power_ = new CCOnOffButton(kPower, CCRect{120, 137, 130, 147}, 5000, CCOnOffButton::MODE_TOGGLE, 0, nullptr, 0);
    values->addChild(power_);
    powerText_ = new Field(CCPageObject::kTypeDefault, CCRect{140, 132, 200, 152}, false);
    values->addChild(powerText_);
    power_->setValueText(true, CCRect{}, 0); // its text goes to the linked display
    auto* hint = new CCMultiLineTextCtrl(CCPageObject::kTypeDefault, CCRect{24, 170, 456, 226}, 0, nullptr, 0);
    hint->setFont(font(11, false, 170));
    values->addChild(hint);
    const char* lines[] = {"Type a level (0.8 or 80%) and press Enter: the meter follows it.",
                           "Every value here is a parameter; they come back at the next start."};
    hint->setLines(lines, 2);

    CCPageObject* text = sections_[1];
    label(text, CCRect{24, 60, 110, 78}, "Note");
    note_ = new Field(kNoteTag, CCRect{120, 58, 330, 78}, true);
    text->addChild(note_);
    note_->setText("Click to edit", false);
    label(text, CCRect{24, 96, 110, 114}, "Password");
    auto* password = new Field(kPasswordTag, CCRect{120, 94, 330, 114}, true);
    password->setPassword(true);
    text->addChild(password);
    label(text, CCRect{24, 132, 280, 150}, "Stays as you leave it (a preference)");
    option_ = new CCOnOffButton(kOptionPreference, CCRect{300, 137, 310, 147}, 5000, CCOnOffButton::MODE_TOGGLE, 0,
                                nullptr, 0);
    text->addChild(option_);
    buildLists(sections_[2]);
    buildPanels(sections_[3]);
    showSection(0);
}

void GalleryPage::buildLists(CCPageObject* section) {
    label(section, CCRect{24, 50, 300, 66}, "A table: a button and a text per row");
    table_ = new CCListContainer(kTableTag, CCRect{24, 70, 300, 196}, 0, 18, nullptr, 0);
    table_->setItemFontDescription([] {
        FontDescription d;
        d.size = 12;
        d.red = d.green = d.blue = 230;
        return d;
    }());
    section->addChild(table_);
    static const char* const rows[] = {"Input", "Output", "Monitor", "Metronome", "Click track",
                                       "Talkback", "Reverb send", "Delay send", "Spare"};
    for (size_t i = 0; i < std::size(rows); ++i)
        table_->addRow(rows[i], i % 2 == 0, true, false);
    textButton(section, kDeleteTag, CCRect{340, 70, 440, 90}, "Delete");
    auto* hint = new CCMultiLineTextCtrl(CCPageObject::kTypeDefault, CCRect{340, 100, 470, 196}, 0, nullptr, 0);
    hint->setFont(font(11, false, 170));
    section->addChild(hint);
    const char* lines[] = {"Click a row to select", "it, double-click to", "rename it; Delete asks",
                           "first."};
    hint->setLines(lines, 4);
}

void GalleryPage::buildPanels(CCPageObject* section) {
    auto* panel = new CCPanel(CCPageObject::kTypeDefault, CCRect{24, 56, 210, 150}, 0, 0, nullptr, 0);
    panel->setFillColour(CCBrush{52, 62, 82, 255});
    section->addChild(panel);
    label(panel, CCRect{10, 10, 180, 26}, "A panel groups controls");
    label(panel, CCRect{10, 34, 180, 50}, "over its own fill.");
    textButton(section, kSplashTag, CCRect{24, 164, 210, 184}, "Show a splash screen");
    scrolling_ = new CCScrollingPanel(kScrollTag, CCRect{240, 56, 440, 196}, 0, 0, nullptr, 0);
    scrolling_->setFillColour(CCBrush{28, 33, 44, 255});
    section->addChild(scrolling_);
    for (int i = 0; i < 14; ++i) {
        char text[40];
        std::snprintf(text, sizeof text, "Line %d of a scrolling panel", i + 1);
        label(scrolling_, CCRect{8, 6 + 20 * i, 190, 22 + 20 * i}, text);
    }
}

void GalleryPage::showSplash() {
    CCPageManager* manager = managerOf();
    if (!manager)
        return;
    auto* words = new CCMultiLineTextCtrl(CCPageObject::kTypeDefault, CCRect{16, 16, 264, 100}, 0, nullptr, 0);
    words->setFont(font(13, false, 240));
    const char* lines[] = {"A splash screen: modal, over", "everything. Click anywhere", "to close it."};
    words->setLines(lines, 3);
    auto* splash = new CCSplashScreen(CCRect{100, 70, 380, 180}, 0, words, nullptr, 0);
    splash->setFillColour(CCBrush{60, 90, 140, 255});
    splash->showModal(manager);
}

void GalleryPage::showSection(int index) {
    if (index < 0 || index >= kSections)
        return;
    section_ = index;
    for (int i = 0; i < kSections; ++i)
        sections_[size_t(i)]->setShown(i == index);
    invalidate(false);
}

int GalleryPage::handleMessage(CCMsg* msg) {
    if (!msg || msg->code != MSG_VALUE_CHANGED)
        return 0;
    if (msg->first >= kFirstTab && msg->first < kFirstTab + kSections) {
        showSection(msg->first - kFirstTab);
        return 1;
    }
    if (msg->first == kDeleteTag) {
        table_->deleteSelected(true);
        return 1;
    }
    if (msg->first == kSplashTag) {
        showSplash();
        return 1;
    }
    return 0;
}

void GalleryPage::draw(CCDrawContext* context) {
    context->fillRect(CCBrush{34, 40, 52, 255}, rect_);
    context->fillRect(CCBrush{22, 27, 36, 255}, CCRect{0, 0, kWidth, 44});
    drawString(context, font(18, true, 245), "Quorix Gallery", CCRect{20, 10, 200, 34}, ALIGN_LEFT);
    // The open tab is underlined.
    const int left = tabLeft(section_);
    context->fillRect(CCBrush{90, 160, 255, 255}, CCRect{left, 34, left + 62, 37});
}

} // namespace gallery
