#pragma once

#include "CCPageObject.h"

#include <array>
#include <cstdint>

class CControl;
class CCOnOffButton;
class CCTextButton;
class CCTextCtrl;
class CCListContainer;
class CCScrollingPanel;

namespace gallery {

// The gallery's one page: a title, tabs along the top and one section of controls
// per tab, each control bound to a parameter or a preference by its tag.
class GalleryPage : public CCPageObject {
public:
    static constexpr int kWidth = 480, kHeight = 240;
    static constexpr int32_t kFirstTab = 300;
    static constexpr int kSections = 4;
    // Tags of controls bound to nothing.
    static constexpr int32_t kNoteTag = 200, kPasswordTag = 201, kTableTag = 202, kScrollTag = 203;
    static constexpr int32_t kDeleteTag = 310, kSplashTag = 311;
    static int tabLeft(int index) { return 168 + 66 * index; }

    GalleryPage();
    void onMoved() override;
    int handleMessage(CCMsg* msg) override;
    void draw(CCDrawContext* context) override;

    void showSection(int index);
    int section() const { return section_; }
    CCPageObject* sectionAt(int index) const { return sections_[size_t(index)]; }
    CCTextCtrl* levelField() const { return level_; }
    CCTextCtrl* powerDisplay() const { return powerText_; }
    CCOnOffButton* powerButton() const { return power_; }
    CControl* meter() const { return meter_; }
    CCOnOffButton* optionButton() const { return option_; }
    CCTextCtrl* noteField() const { return note_; }
    CCListContainer* table() const { return table_; }
    CCScrollingPanel* scroller() const { return scrolling_; }

private:
    void build();
    void buildLists(CCPageObject* section);
    void buildPanels(CCPageObject* section);
    void showSplash();

    std::array<CCPageObject*, kSections> sections_{};
    std::array<CCTextButton*, kSections> tabs_{};
    int section_ = 0;
    CCTextCtrl* level_ = nullptr;
    CCTextCtrl* powerText_ = nullptr;
    CCOnOffButton* power_ = nullptr;
    CControl* meter_ = nullptr;
    CCOnOffButton* option_ = nullptr;
    CCTextCtrl* note_ = nullptr;
    CCListContainer* table_ = nullptr;
    CCScrollingPanel* scrolling_ = nullptr;
};

} // namespace gallery
