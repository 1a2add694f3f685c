#include "CCPanels.h"

#include "CCBitmapCache.h"
#include "CCPageManager.h"
#include "Framework.h"

#include <algorithm>

namespace {

CCRect originRect(CCPoint origin, int backgroundId) {
    const auto [width, height] =
        backgroundId ? bitmapCache().getBitmapSize(backgroundId) : std::pair<int, int>{0, 0};
    return CCRect{origin.x, origin.y, origin.x + width, origin.y + height};
}

int widthOf(const CCBitmap* bitmap) {
    return bitmap ? bitmap->width() : 0;
}

int heightOf(const CCBitmap* bitmap) {
    return bitmap ? bitmap->height() : 0;
}

// Tiles a bitmap over a band, from `from` in steps of its own size along one axis;
// the band's clip cuts the last tile.
void tile(CCDrawContext* context, const CCBitmap* bitmap, const CCRect& band, bool horizontal) {
    if (!bitmap || band.width() <= 0 || band.height() <= 0)
        return;
    const int step = std::max(horizontal ? bitmap->width() : bitmap->height(), 1);
    context->saveClip();
    context->clipTo(band);
    if (horizontal)
        for (int x = band.left; x < band.right; x += step)
            context->drawBitmap(bitmap, CCPoint{x, band.top}, CCPoint{0, 0});
    else
        for (int y = band.top; y < band.bottom; y += step)
            context->drawBitmap(bitmap, CCPoint{band.left, y}, CCPoint{0, 0});
    context->restoreClip();
}

} // namespace

CCPanel::CCPanel(const CCRect& rect, int backgroundId, int ignored, CCPageObject* listener,
                 uint16_t viewBits)
    : CCPanel(int32_t(kTypeDefault), rect, backgroundId, ignored, listener, viewBits) {}

CCPanel::CCPanel(int32_t tag, const CCRect& rect, int backgroundId, int ignored, CCPageObject* listener,
                 uint16_t viewBits)
    : CControl(tag, rect.left, rect.top, rect.right, rect.bottom, 0, 0, 0, listener, viewBits) {
    (void)ignored;
    if (backgroundId)
        setBackgroundBitmap(backgroundId);
}

CCPanel::CCPanel(CCPoint origin, int backgroundId, int ignored, CCPageObject* listener, uint16_t viewBits)
    : CCPanel(int32_t(kTypeDefault), originRect(origin, backgroundId), backgroundId, ignored, listener,
              viewBits) {}

CCPanel::CCPanel(int32_t tag, CCPoint origin, int backgroundId, int ignored, CCPageObject* listener,
                 uint16_t viewBits)
    : CCPanel(tag, originRect(origin, backgroundId), backgroundId, ignored, listener, viewBits) {}

CCPanel::~CCPanel() {
    releaseFrame();
}

void CCPanel::releaseFrame() {
    for (CCBitmap*& piece : frame_) {
        bitmapCache().release(piece);
        piece = nullptr;
    }
}

void CCPanel::setFrame(int leftEdge, int topEdge, int rightEdge, int bottomEdge, int topLeft, int topRight,
                       int bottomLeft, int bottomRight, uint8_t frameAlpha) {
    releaseFrame();
    const int ids[PIECES] = {leftEdge, topEdge, rightEdge, bottomEdge, topLeft, topRight, bottomLeft, bottomRight};
    for (int i = 0; i < PIECES; ++i)
        frame_[i] = ids[i] ? bitmapCache().getBitmap(ids[i]) : nullptr;
    frameAlpha_ = frameAlpha;
    invalidate(false);
}

void CCPanel::setFillColour(std::optional<CCBrush> colour) {
    fill_ = colour;
    invalidate(false);
}

int CCPanel::handleMouse(CCMouseMsg* msg) {
    return interactive_ ? CControl::handleMouse(msg) : 0;
}

void CCPanel::drawContents(CCDrawContext* context) {
    if (fill_)
        context->fillRect(*fill_, CCRect{rect_.left, rect_.top, rect_.right - 1, rect_.bottom - 1});
    if (background_)
        context->drawBitmap(background_, CCPoint{rect_.left, rect_.top}, CCPoint{0, 0});
    drawFrame(context);
}

void CCPanel::drawFrame(CCDrawContext* context) {
    const CCBitmap* left = frame_[LEFT];
    const CCBitmap* top = frame_[TOP];
    const CCBitmap* right = frame_[RIGHT];
    const CCBitmap* bottom = frame_[BOTTOM];
    if (!left || !top || !right || !bottom)
        return;
    const CCBitmap* topLeft = frame_[TOP_LEFT];
    const CCBitmap* topRight = frame_[TOP_RIGHT];
    const CCBitmap* bottomLeft = frame_[BOTTOM_LEFT];
    const CCBitmap* bottomRight = frame_[BOTTOM_RIGHT];
    // Combined with the context's, so a fading or disabled panel fades its frame too.
    const uint8_t alpha = context->alpha();
    context->setAlpha(static_cast<uint8_t>(alpha * frameAlpha_ / 255));

    bool corners = true;
    for (const CCBitmap* corner : {topLeft, topRight, bottomLeft, bottomRight})
        corners = corners && widthOf(corner) > 0 && heightOf(corner) > 0;
    if (corners) {
        context->drawBitmap(topLeft, CCPoint{rect_.left, rect_.top}, CCPoint{0, 0});
        context->drawBitmap(topRight, CCPoint{rect_.right - topRight->width(), rect_.top}, CCPoint{0, 0});
        context->drawBitmap(bottomLeft, CCPoint{rect_.left, rect_.bottom - bottomLeft->height()}, CCPoint{0, 0});
        context->drawBitmap(bottomRight,
                            CCPoint{rect_.right - bottomRight->width(), rect_.bottom - bottomRight->height()},
                            CCPoint{0, 0});
    }
    tile(context, top,
         CCRect{rect_.left + widthOf(topLeft), rect_.top, rect_.right - widthOf(topRight), rect_.top + top->height()},
         true);
    tile(context, bottom,
         CCRect{rect_.left + widthOf(bottomLeft), rect_.bottom - bottom->height(), rect_.right - widthOf(bottomRight),
                rect_.bottom},
         true);
    tile(context, left,
         CCRect{rect_.left, rect_.top + heightOf(topLeft), rect_.left + left->width(), rect_.bottom - heightOf(bottomLeft)},
         false);
    tile(context, right,
         CCRect{rect_.right - right->width(), rect_.top + heightOf(topRight), rect_.right,
                rect_.bottom - heightOf(bottomRight)},
         false);
    context->setAlpha(alpha);
}

CCModalPanel::CCModalPanel(const CCRect& rect, int backgroundId, int dismissMode, int ignored,
                           CCPageObject* listener, uint16_t viewBits)
    : CCPanel(rect, backgroundId, ignored, listener, viewBits), dismissMode_(dismissMode) {}

CCModalPanel::CCModalPanel(CCPoint origin, int backgroundId, int dismissMode, int ignored,
                           CCPageObject* listener, uint16_t viewBits)
    : CCPanel(origin, backgroundId, ignored, listener, viewBits), dismissMode_(dismissMode) {}

CCSplashScreen::CCSplashScreen(const CCRect& rect, int backgroundId, CCPageObject* content,
                               CCPageObject* listener, uint16_t viewBits)
    : CCModalPanel(rect, backgroundId, kDismissMode, 0, listener, viewBits), content_(content) {
    addChild(content);
}

CCSplashScreen::CCSplashScreen(CCPoint origin, int backgroundId, CCPageObject* content,
                               CCPageObject* listener, uint16_t viewBits)
    : CCModalPanel(origin, backgroundId, kDismissMode, 0, listener, viewBits), content_(content) {
    addChild(content);
}

void CCSplashScreen::showModal(CCPageManager* manager) {
    if (manager)
        manager->setModal(this, dismissMode());
}

void CCSplashScreen::onDescendantRemoved(CCPageObject* object) {
    if (object->contains(content_))
        content_ = nullptr; // no longer ours to keep
}
