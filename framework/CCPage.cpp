#include "CCPage.h"

CCPage::CCPage(int32_t value, int left, int top, int right, int bottom, int bitmapId)
    : CCPageObject(left, top, right, bottom), value_(value), bitmapId_(bitmapId) {
    if (bitmapId)
        setBackgroundBitmap(bitmapId);
}

void CCPage::draw(CCDrawContext* context) {
    if (background_)
        context->drawBitmap(background_, CCPoint{0, 0}, CCPoint{0, 0});
    drawPageContents(context);
}
