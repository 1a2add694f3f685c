#pragma once

#include "CCPageObject.h"

// A page: a page object with an optional background bitmap drawn whole at the
// window origin, under its contents.
class CCPage : public CCPageObject {
public:
    CCPage(int32_t value, int left, int top, int right, int bottom, int bitmapId);

    void onMoved() override { onPageMoved(); }
    int handleMessage(CCMsg* msg) override { (void)msg; return 0; }
    void draw(CCDrawContext* context) override;

    virtual void onPageMoved() {}
    virtual void drawPageContents(CCDrawContext* context) { (void)context; }

    int32_t value() const { return value_; }
    int bitmapId() const { return bitmapId_; }

private:
    int32_t value_;
    int bitmapId_;
    [[maybe_unused]] int32_t one_ = 1; // kept as the page record has it
};
