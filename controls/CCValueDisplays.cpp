#include "CCValueDisplays.h"

#include "CCBitmapCache.h"
#include "Framework.h"

#include <algorithm>

namespace {

int frameCountOf(const CCImageStrip* strip) {
    return strip ? strip->frameCount() : 0;
}

} // namespace

CCSimpleProgress::CCSimpleProgress(int32_t tag, const CCRect& rect, int barId, int32_t minimum,
                                   int32_t maximum, CCPageObject* listener, uint16_t viewBits)
    : CControl(tag, rect.left, rect.top, rect.right, rect.bottom, minimum, maximum, 0, listener, viewBits),
      bar_(bitmapCache().getBitmap(barId)) {}

CCSimpleProgress::CCSimpleProgress(int32_t tag, CCPoint origin, int backgroundId, int barId,
                                   int32_t minimum, int32_t maximum, CCPageObject* listener,
                                   uint16_t viewBits)
    : CCSimpleProgress(tag, CCRect{origin.x, origin.y, origin.x, origin.y}, barId, minimum, maximum,
                       listener, viewBits) {
    if (backgroundId)
        setBackgroundBitmap(backgroundId);
    const CCBitmap* sizing = background_ ? background_ : bar_;
    if (sizing)
        rect_ = CCRect{origin.x, origin.y, origin.x + sizing->width(), origin.y + sizing->height()};
}

CCSimpleProgress::~CCSimpleProgress() {
    bitmapCache().release(bar_);
}

void CCSimpleProgress::drawContents(CCDrawContext* context) {
    int offsetX = 0, offsetY = 0;
    if (background_) {
        context->drawBitmap(background_, CCPoint{rect_.left, rect_.top}, CCPoint{0, 0});
        if (bar_) {
            offsetX = (background_->width() - bar_->width()) / 2;
            offsetY = (background_->height() - bar_->height()) / 2;
        }
    }
    if (!bar_ || value_ <= 0)
        return;
    const int64_t width = std::min<int64_t>(int64_t(bar_->width()) * value_ / span_, bar_->width());
    if (width > 0)
        context->drawBitmap(bar_, CCPoint{rect_.left + offsetX, rect_.top + offsetY}, CCPoint{0, 0},
                            CCPoint{static_cast<int32_t>(width), bar_->height()});
}

CCIndicator::CCIndicator(int32_t tag, CCPoint origin, int stripId, int cellCount, int32_t value,
                         CCPageObject* listener, uint16_t viewBits)
    : CCIndicator(tag, origin, bitmapCache().getStripByCount(stripId, cellCount), value, listener,
                  viewBits) {}

CCIndicator::CCIndicator(int32_t tag, int left, int top, int right, int bottom, int stripId,
                         int32_t value, CCPageObject* listener, uint16_t viewBits)
    : CCIndicator(tag, CCRect{left, top, right, bottom},
                  right > left ? bitmapCache().getStripByWidth(stripId, right - left) : nullptr, value,
                  listener, viewBits) {}

CCIndicator::CCIndicator(int32_t tag, CCPoint origin, CCImageStrip* strip, int32_t value,
                         CCPageObject* listener, uint16_t viewBits)
    : CCIndicator(tag,
                  CCRect{origin.x, origin.y, origin.x + (strip ? strip->frameWidth() : 0),
                         origin.y + (strip ? strip->height() : 0)},
                  strip, value, listener, viewBits) {}

CCIndicator::CCIndicator(int32_t tag, const CCRect& rect, CCImageStrip* strip, int32_t value,
                         CCPageObject* listener, uint16_t viewBits)
    : CControl(tag, rect.left, rect.top, rect.right, rect.bottom, 0,
               std::max(frameCountOf(strip) - 1, 0), value, listener, viewBits),
      strip_(strip) {}

CCIndicator::~CCIndicator() {
    bitmapCache().release(strip_);
}

void CCIndicator::drawContents(CCDrawContext* context) {
    if (strip_)
        context->drawFrame(strip_, CCPoint{rect_.left, rect_.top}, static_cast<unsigned>(std::max(value_, 0)));
}

int CCIndicator::onParameterMessage(CCMsg* msg) {
    if (msg->code != MSG_PARAMETER)
        return 0;
    setValueFromParameter(fromNormalized(msg->value), msg->notify, true);
    return 1;
}

CCBargraph::CCBargraph(int32_t tag, int left, int top, int right, int bottom, int32_t minimum,
                       int32_t maximum, int32_t value, int ignored, CCPageObject* listener,
                       uint16_t viewBits)
    : CControl(tag, left, top, right, bottom, minimum, maximum, value, listener, viewBits) {
    (void)ignored;
}

CCIndicator* CCBargraph::addSegment(int left, int top, int right, int bottom, int stripId, int frames) {
    (void)right, (void)bottom;
    auto* segment = new CCIndicator(int32_t(kTypeDefault), CCPoint{left, top}, stripId, frames, 0,
                                    nullptr, 0);
    addChild(segment);
    segments_.push_back(segment);
    updateStep();
    return segment;
}

void CCBargraph::updateStep() {
    const int64_t count = std::max<int64_t>(int64_t(segments_.size()), 1);
    step_ = std::max<int>(static_cast<int>((int64_t(maximum_) - minimum_ + 1) / count), 1);
}

void CCBargraph::onDescendantRemoved(CCPageObject* object) {
    // The segments below lit_ are lit: the count follows the lit ones that go.
    int lit = 0;
    std::vector<CCIndicator*> kept;
    for (size_t i = 0; i < segments_.size(); ++i) {
        if (object->contains(segments_[i]))
            continue;
        if (static_cast<int>(i) < lit_)
            ++lit;
        kept.push_back(segments_[i]);
    }
    segments_.swap(kept);
    lit_ = lit;
    updateStep();
}

void CCBargraph::drawContents(CCDrawContext* context) {
    if (background_)
        context->drawBitmap(background_, CCPoint{rect_.left, rect_.top}, CCPoint{0, 0});
    const int lit = std::clamp(value_ / step_, 0, static_cast<int>(segments_.size()));
    if (lit == lit_)
        return;
    const bool rising = lit > lit_;
    // Addressed to every control (0): the lamps carry tags of their own. Without
    // a redraw of their own, as they are drawn right after this.
    CCMsg lamp(MSG_PARAMETER, 0, rising ? 1.0f : 0.0f, false);
    for (int i = std::min(lit, lit_); i < std::max(lit, lit_); ++i)
        segments_[static_cast<size_t>(i)]->deliverTo(&lamp);
    lit_ = lit;
}

int CCBargraph::onParameterMessage(CCMsg* msg) {
    if (msg->code != MSG_PARAMETER)
        return 0;
    setValueFromParameter(fromNormalized(msg->value), msg->notify, false);
    return 1;
}

CCLedArray::CCLedArray(int32_t tag, int left, int top, int right, int bottom, const int* bitmapIds,
                       int count, int spacing, CCPageObject* listener, uint16_t viewBits)
    : CControl(tag, left, top, right, bottom, 0, 1 << std::clamp(count, 0, kMaxLeds), 0, listener,
               viewBits),
      spacing_(spacing) {
    for (int i = 0; bitmapIds && i < std::clamp(count, 0, kMaxLeds); ++i)
        leds_.push_back(bitmapCache().getBitmap(bitmapIds[i]));
}

CCLedArray::~CCLedArray() {
    for (CCBitmap* led : leds_)
        bitmapCache().release(led);
}

void CCLedArray::drawContents(CCDrawContext* context) {
    int x = rect_.left;
    for (size_t i = 0; i < leds_.size(); ++i) {
        if (!leds_[i])
            continue;
        if (value_ & (1 << i))
            context->drawBitmap(leds_[i], CCPoint{x, rect_.top}, CCPoint{0, 0});
        x += spacing_;
    }
}

int CCLedArray::onParameterMessage(CCMsg* msg) {
    if (msg->code != MSG_PARAMETER)
        return 0;
    setValueFromParameter(msg->second, msg->notify, false);
    return 1;
}

CCImageViewer::CCImageViewer(int32_t tag, const CCRect& rect, int ignored, CCPageObject* listener,
                             uint16_t viewBits)
    : CControl(tag, rect.left, rect.top, rect.right, rect.bottom, 0, 0, 0, listener, viewBits) {
    (void)ignored;
}

void CCImageViewer::setImage(const CCBitmap* source) {
    image_.reset();
    if (!source)
        return;
    auto copy = std::make_unique<CCBitmap>();
    if (copy->copyFrom(*source))
        image_ = std::move(copy);
}

void CCImageViewer::drawContents(CCDrawContext* context) {
    if (image_)
        context->drawBitmap(image_.get(), CCPoint{rect_.left, rect_.top}, CCPoint{0, 0});
}
