// The real update page, its controls at their places, drawn in every button state
// and compared pixel for pixel with tests/golden.
#include "../framework/Golden.h"
#include "../support/PageSupport.h"

#include "CBackPage.h"
#include "CCButtons.h"
#include "CCFont.h"
#include "CCTextDisplays.h"
#include "CCValueDisplays.h"
#include "SimulatedHid.h"
#include "UpdateTexts.h"

#include <gtest/gtest.h>

namespace {

struct UpdatePage {
    UpdatePage() {
        // A device the page never sees: no file is loaded.
        page = new CBackPage(CCRect{0, 0, 480, 240}, 200, nullptr,
                             ShellDependencies{std::make_shared<SimulatedHidSystem>(SimulatedDeviceConfig{}),
                                               nullptr});
        manager.addChild(page); // builds the controls
        const char* lines[] = {"Firmware update ready (Version: 1.1.00)", "Device: Quorix Demo Device",
                               "Hardware version: 1.0.00", "Firmware version: 1.0.00", "Ready to update"};
        page->messageArea()->setLines(lines, 5);
        page->updateButton()->setEnabled(true, 0);
    }
    void each(void (*action)(TestManager&, CCOnOffButton*)) {
        for (CCOnOffButton* button : {page->updateButton(), page->openButton(), page->closeButton()})
            action(manager, button);
    }
    // Every fade to its end, then the whole page.
    void render() {
        manager.clock.now += 100000;
        manager.animator().runPass();
        manager.redrawRect(CCRect{0, 0, 480, 240}, nullptr);
    }

    TestManager manager;
    CBackPage* page;
};

} // namespace

TEST(UpdatePage, ControlsAtTheirPlacesInEveryState) {
    {
        UpdatePage start;
        EXPECT_EQ(start.page->progressBar()->rect(), (CCRect{40, 206, 249, 224}));
        EXPECT_EQ(start.page->updateButton()->rect(), (CCRect{364, 108, 449, 132}));
        EXPECT_EQ(start.page->openButton()->rect(), (CCRect{364, 78, 449, 102}));
        EXPECT_EQ(start.page->closeButton()->rect(), (CCRect{425, 15, 455, 45}));
        EXPECT_EQ(start.page->versionLabel()->text(), "1.3.00");
        EXPECT_FALSE(start.page->progressBar()->enabled());
        start.render();
        expectGolden("update_page_normal", start.manager.image);
    }
    {
        UpdatePage hover;
        hover.page->progressBar()->setEnabled(true, 0);
        hover.page->progressBar()->setValue(37, true, true, false);
        hover.each([](TestManager& manager, CCOnOffButton* button) {
            CCMouseMsg move = manager.mouse(MSG_MOUSE_MOVE, button->rect().left + 5, button->rect().top + 5);
            button->deliverTo(&move);
        });
        hover.render();
        expectGolden("update_page_hover", hover.manager.image);
    }
    {
        UpdatePage pressed;
        pressed.page->progressBar()->setEnabled(true, 0);
        pressed.page->progressBar()->setValue(100, true, true, false);
        pressed.each([](TestManager& manager, CCOnOffButton* button) {
            CCMouseMsg press = manager.mouse(MSG_LBUTTON_DOWN, button->rect().left + 5, button->rect().top + 5);
            button->deliverTo(&press);
        });
        pressed.render();
        expectGolden("update_page_pressed", pressed.manager.image);
    }
    {
        UpdatePage disabled; // as during an update: every button faded to 48
        disabled.page->progressBar()->setEnabled(true, 0);
        disabled.page->progressBar()->setValue(37, true, true, false);
        disabled.each([](TestManager&, CCOnOffButton* button) { button->setEnabled(false, 0); });
        const char* lines[] = {"Updating Quorix Demo Device", "Please don't interrupt or unplug the device."};
        disabled.page->messageArea()->setLines(lines, 2);
        disabled.render();
        EXPECT_EQ(disabled.page->updateButton()->alpha(), 48);
        expectGolden("update_page_disabled", disabled.manager.image);
    }
}

TEST(UpdatePage, PartialRedrawsMatchAFullRedraw) {
    UpdatePage page;
    page.render();
    // Things change one by one, each redrawn alone; then the whole page again.
    page.page->progressBar()->setEnabled(true, 0);
    page.page->progressBar()->setValue(62, true, true, false);
    CCMouseMsg move = page.manager.mouse(MSG_MOUSE_MOVE, 370, 112);
    page.manager.dispatchMessage(&move);
    page.page->closeButton()->setEnabled(false, 0);
    page.manager.clock.now += 100000;
    page.manager.animator().runPass();
    const CCBitmap& image = page.manager.image;
    const std::vector<uint8_t> partial(image.pixels(), image.pixels() + image.rowBytes() * 240);
    page.manager.redrawRect(CCRect{0, 0, 480, 240}, nullptr);
    EXPECT_TRUE(std::equal(partial.begin(), partial.end(), image.pixels()));
}

TEST(UpdatePage, EveryTextFitsTheMessageArea) {
    UpdatePage page;
    UpdateView& view = *page.page;
    CCMultiLineTextCtrl* area = page.page->messageArea();
    CCFont* font = area->getFont();
    const int width = area->rect().width();
    const int rows = area->rect().height() / CCMultiLineTextCtrl::kLineHeight;
    const FirmwareVersion widest{255, 255, 255}, none{0xFF, 0, 0}, lower{1, 0, 0};
    // The widest name the header's 32 bytes can carry, one without blanks, and
    // one that breaks at blanks.
    const std::string names[] = {std::string(32, 'W'), std::string(32, 'm'),
                                 "Quorix Wireless Mixing Console W"};
    std::vector<std::vector<std::string>> texts = {
        updatetexts::startLines(),
        updatetexts::commandLineStartLines(),
        updatetexts::resultLines(true),
        updatetexts::resultLines(false),
        {updatetexts::kUpdateError, updatetexts::kDeviceNotFound},
        {updatetexts::kUpdateError, updatetexts::kFileNotLoadable},
        {updatetexts::kUpdateError, updatetexts::kFileForOtherDevice},
    };
    for (const std::string& name : names) {
        texts.push_back(updatetexts::waitingLines(widest, name));
        texts.push_back(updatetexts::waitingLines(widest, name));
        texts.back().push_back(updatetexts::kNoFileDialog);
        for (const FirmwareVersion& firmware : {none, lower, widest})
            texts.push_back(updatetexts::deviceLines(widest, name, widest, firmware));
        texts.push_back(updatetexts::updatingLines(name));
        texts.back().push_back(updatetexts::kClosingAfterUpdate);
        texts.back().push_back(updatetexts::kDropRefused);
    }
    for (const auto& lines : texts) {
        view.showLines({}); // the fixture wrote the area directly
        view.showLines(lines);
        std::string all;
        for (const std::string& line : lines)
            all += line + " ";
        const size_t count = area->lines().size();
        EXPECT_LE(int(count) * area->lineStep(), area->rect().height()) << all;
        if (count <= size_t(rows)) {
            EXPECT_EQ(area->lineStep(), CCMultiLineTextCtrl::kLineHeight) << all;
        }
        for (const std::string& shown : area->lines())
            EXPECT_LE(font->textWidth(shown.c_str()), width) << shown;
        std::string joined, given;
        for (const std::string& shown : area->lines())
            joined += shown;
        for (const std::string& line : lines)
            given += line;
        std::erase(joined, ' '); // nothing lost but the blanks the lines broke at
        std::erase(given, ' ');
        EXPECT_EQ(joined, given);
    }
    EXPECT_LE(page.page->versionLabel()->getFont()->textWidth("1.3.00"),
              page.page->versionLabel()->rect().width());
}
