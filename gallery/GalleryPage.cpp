#include "GalleryPage.h"

#include "CCButtons.h"
#include "CCDrawContext.h"
#include "CCFont.h"
#include "CCTextCtrl.h"
#include "CCTextDisplays.h"
#include "CCValueDisplays.h"
#include "CommandTags.h"
#include "GalleryParameters.h"

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

CCTextButton* textButton(CCPageObject* parent, int32_t tag, const CCRect& rect, const char* text) {
    auto* button = new CCTextButton(tag, rect, font(13, true, 200), font(13, true, 255), 0, nullptr, 0);
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
    static const char* const names[kSections] = {"Values", "Text"};
    for (int i = 0; i < kSections; ++i) {
        tabs_[size_t(i)] = textButton(this, kFirstTab + i, CCRect{200 + 80 * i, 12, 276 + 80 * i, 32}, names[i]);
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
    showSection(0);
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
    if (msg && msg->code == MSG_VALUE_CHANGED && msg->first >= kFirstTab && msg->first < kFirstTab + kSections) {
        showSection(msg->first - kFirstTab);
        return 0; // on to the editor, which may remember it
    }
    return 0;
}

void GalleryPage::draw(CCDrawContext* context) {
    context->fillRect(CCBrush{34, 40, 52, 255}, rect_);
    context->fillRect(CCBrush{22, 27, 36, 255}, CCRect{0, 0, kWidth, 44});
    drawString(context, font(18, true, 245), "Quorix Gallery", CCRect{20, 10, 200, 34}, ALIGN_LEFT);
    // The open tab is underlined.
    const int left = 200 + 80 * section_;
    context->fillRect(CCBrush{90, 160, 255, 255}, CCRect{left, 34, left + 76, 37});
}

} // namespace gallery
