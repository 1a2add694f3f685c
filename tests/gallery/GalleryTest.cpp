// The gallery in memory: a user clicks and types, the values travel through the
// parameters, the change queue and the preferences, and come back at the next start.
#include "../framework/Golden.h"

#include "CCButtons.h"
#include "CCLists.h"
#include "CCScrolling.h"
#include "CCTextCtrl.h"
#include "Framework.h"
#include "GalleryEditor.h"
#include "GalleryPage.h"
#include "GalleryProgram.h"
#include "HeadlessPlatform.h"
#include "HeadlessSettings.h"

#include <gtest/gtest.h>

namespace {

using gallery::GalleryPage;
using gallery::GalleryWindow;

struct Gallery {
    explicit Gallery(HeadlessSettings& settingsIn) : settings(settingsIn) {
        previous = setUiPlatform(&platform);
        startFramework();
        window = std::make_unique<GalleryWindow>(ShellDependencies{nullptr, nullptr, &fades, false}, &settings);
        EXPECT_TRUE(window->create());
    }
    ~Gallery() {
        window.reset();
        setUiPlatform(previous);
    }
    GalleryPage* page() const { return window->editor()->galleryPage(); }
    HeadlessWindow* child() const { return platform.childOf(window->window()); }

    void mouse(WindowEvent::Button button, int x, int y) {
        WindowEvent event;
        event.kind = WindowEvent::Kind::Mouse;
        event.button = button;
        event.x = x, event.y = y;
        platform.deliver(child(), event);
    }
    void click(int x, int y) {
        mouse(WindowEvent::Button::LeftDown, x, y);
        mouse(WindowEvent::Button::LeftUp, x, y);
        platform.pump();
    }
    // Clicks the field, types and presses Enter (or Escape).
    void type(int x, int y, const std::string& text, bool enter = true) {
        click(x, y);
        ASSERT_TRUE(platform.editPopupOpen(child()));
        platform.endEditPopup(child(), enter ? WindowEvent::EditEnding::Commit : WindowEvent::EditEnding::Abandon,
                              text);
        platform.pump();
    }
    void expectScreen(const std::string& name) {
        fades.now += 100000;
        window->editor()->animator().runPass();
        platform.pump();
        HeadlessWindow* shown = platform.lastTopLevel();
        CCBitmap shot;
        shot.createBlank(shown->width, shown->height);
        for (int y = 0; y < shown->height; ++y)
            for (int x = 0; x < shown->width; ++x) {
                const uint8_t* in = &shown->screen[(size_t(y) * size_t(shown->width) + size_t(x)) * 3];
                uint8_t* out = shot.pixelAt(x, y);
                out[0] = in[0], out[1] = in[1], out[2] = in[2], out[3] = 255;
            }
        expectGolden(name, shot);
    }

    struct ManualClock : FadeClock {
        uint32_t now = 1000;
        uint32_t nowMs() override { return now; }
    } fades;
    HeadlessSettings& settings;
    HeadlessPlatform platform;
    UiPlatform* previous = nullptr;
    std::unique_ptr<GalleryWindow> window;
};

} // namespace

TEST(Gallery, ValuesTravelThroughParametersAndPreferencesAndSurviveARestart) {
    HeadlessSettings settings;
    {
        Gallery g(settings);
        ASSERT_TRUE(g.page());
        EXPECT_STREQ(g.page()->levelField()->text(), "Level 0.50");
        EXPECT_STREQ(g.page()->powerDisplay()->text(), "Off");
        EXPECT_EQ(g.page()->meter()->value(), 50);
        g.expectScreen("gallery_values");
        g.click(125, 141); // the power button and its linked display
        EXPECT_EQ(g.page()->powerButton()->value(), 1);
        EXPECT_STREQ(g.page()->powerDisplay()->text(), "On");
        g.expectScreen("gallery_power_on");

        // A level typed into its field reaches the parameter, the field and the meter.
        g.type(130, 68, " 0.8 ");
        EXPECT_EQ(g.platform.editPopupsOpened.back().text, "Level 0.50");
        EXPECT_STREQ(g.page()->levelField()->text(), "Level 0.80");
        EXPECT_EQ(g.page()->meter()->value(), 80);
        g.expectScreen("gallery_level_on");
        g.type(130, 68, "25%");
        EXPECT_EQ(g.page()->meter()->value(), 25);
        g.type(130, 68, "abc"); // not a number: the level stays
        g.type(130, 68, "0.9", false); // Escape
        EXPECT_STREQ(g.page()->levelField()->text(), "Level 0.25");
        EXPECT_EQ(g.window->editor()->editObject(), nullptr);

        g.click(260, 22); // the second tab
        EXPECT_EQ(g.page()->section(), 1);
        EXPECT_FALSE(g.page()->sectionAt(0)->shown());
        g.type(200, 68, "Hello gallery");
        EXPECT_STREQ(g.page()->noteField()->text(), "Hello gallery");
        g.click(305, 141); // the preference's button
        EXPECT_EQ(g.page()->optionButton()->value(), 1);
        EXPECT_EQ(settings.others["GalleryOption"], std::make_pair(SettingsStore::Kind::Text, std::string("1")));
        g.expectScreen("gallery_text");

        // A table: a row's button toggles (536 goes up), a row is selected and
        // deleted once the question is answered yes; no leaves it.
        g.click(330, 22);
        CCListContainer* table = g.page()->table();
        auto rowButton = [&](int i) { return static_cast<CCTableRowContainer*>(table->itemAt(i)->parent())->button(); };
        ASSERT_EQ(table->entryCount(), 9);
        const bool wasOn = rowButton(1)->value() != 0;
        g.click(29, 70 + 18 + 9); // row 1's button
        EXPECT_NE(rowButton(1)->value() != 0, wasOn);
        g.click(120, 70 + 2 * 18 + 9); // row 2's text
        EXPECT_EQ(table->selectedIndex(), 2);
        g.expectScreen("gallery_lists_rows");
        g.platform.yesNoAnswers = {false};
        g.click(390, 80); // Delete, answered no
        EXPECT_EQ(table->entryCount(), 9);
        g.platform.yesNoAnswers = {true};
        g.click(390, 80);
        EXPECT_EQ(table->entryCount(), 8);
        EXPECT_STREQ(table->itemAt(2)->text(), "Metronome");
        EXPECT_EQ(g.platform.questions.back().second, "Are you sure you want to delete ?");
        g.expectScreen("gallery_lists");

        // Panels: the scrolling panel has more lines than fit, so its scroller shows.
        g.click(396, 22);
        EXPECT_TRUE(g.page()->scroller()->maximumY() > 0);
        g.mouse(WindowEvent::Button::Move, 100, 174); // the pointer rests on its button, as a user's does
        g.click(100, 174); // the splash screen, closed by a click
        EXPECT_NE(g.window->editor()->modalObject(), nullptr);
        g.expectScreen("gallery_panels");
        g.click(450, 220);
        EXPECT_EQ(g.window->editor()->modalObject(), nullptr);
        g.click(454, 22); // X
        EXPECT_TRUE(g.window->closed());
        EXPECT_TRUE(g.platform.quitPosted());
    }
    ASSERT_EQ(settings.others["GalleryPreset"].second.size(), 7u);
    {
        Gallery again(settings);
        EXPECT_STREQ(again.page()->levelField()->text(), "Level 0.25");
        EXPECT_EQ(again.page()->meter()->value(), 25);
        EXPECT_EQ(again.page()->powerButton()->value(), 1);
        EXPECT_STREQ(again.page()->powerDisplay()->text(), "On");
        EXPECT_EQ(again.page()->optionButton()->value(), 1);
    }
    // A damaged store: a preset of another size or kind, an option of another kind
    // (read, it would be 1). The defaults come up and nothing else is lost.
    const std::pair<SettingsStore::Kind, std::string> damaged[] = {
        {SettingsStore::Kind::Binary, std::string("\x01\xFF\xFF", 3)},
        {SettingsStore::Kind::Binary, std::string(9, '\x7F')},
        {SettingsStore::Kind::Text, "1"},
    };
    for (const auto& preset : damaged) {
        settings.others["GalleryPreset"] = preset;
        settings.others["GalleryOption"] = {SettingsStore::Kind::Binary, "1"};
        settings.values["MainWindow_p"] = 7;
        Gallery g(settings);
        EXPECT_STREQ(g.page()->levelField()->text(), "Level 0.50");
        EXPECT_EQ(g.page()->powerButton()->value(), 0);
        EXPECT_EQ(g.page()->optionButton()->value(), 0);
        EXPECT_EQ(settings.others["GalleryOption"], std::make_pair(SettingsStore::Kind::Text, std::string("0")));
        EXPECT_EQ(settings.values["MainWindow_p"], 7u);
    }
}
