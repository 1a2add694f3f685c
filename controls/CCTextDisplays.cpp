#include "CCTextDisplays.h"

#include "CCFont.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

std::atomic<uint32_t> hostVersionNumber{0};

const char* orEmpty(const char* text) {
    return text ? text : "";
}

} // namespace

CCStaticTextCtrl::CCStaticTextCtrl(int32_t tag, const CCRect& rect, CCFont* font, int backgroundId,
                                   CCPageObject* listener, uint16_t viewBits)
    : CControl(tag, rect.left, rect.top, rect.right, rect.bottom, 0, 0, 0, listener, viewBits) {
    if (font)
        setFont(font);
    if (backgroundId)
        setBackgroundBitmap(backgroundId);
}

void CCStaticTextCtrl::setText(const char* text) {
    text_ = orEmpty(text);
    invalidate(true);
}

char* CCStaticTextCtrl::getText(char* buffer, size_t length) {
    return copyText(buffer, length, text_);
}

void CCStaticTextCtrl::drawContents(CCDrawContext* context) {
    if (background_)
        context->drawBitmap(background_, CCPoint{rect_.left, rect_.top}, CCPoint{0, 0});
    drawString(context, getFont(), text_.c_str(), rect_, alignment_);
}

CCMultiLineTextCtrl::CCMultiLineTextCtrl(int32_t tag, const CCRect& rect, int ignored,
                                         CCPageObject* listener, uint16_t viewBits)
    : CControl(tag, rect.left, rect.top, rect.right, rect.bottom, 0, 0, 0, listener, viewBits) {
    (void)ignored;
}

void CCMultiLineTextCtrl::setLines(const char* const* texts, int count) {
    lines_.clear();
    for (int i = 0; texts && i < count; ++i)
        lines_.emplace_back(orEmpty(texts[i]));
    invalidate(true);
}

void CCMultiLineTextCtrl::drawContents(CCDrawContext* context) {
    CCFont* font = getFont();
    for (size_t i = 0; i < lines_.size(); ++i) {
        const int top = rect_.top + static_cast<int>(i) * kLineHeight;
        if (top >= rect_.bottom)
            break; // the rest is clipped away anyway
        drawString(context, font, lines_[i].c_str(), CCRect{rect_.left, top, rect_.right, top + kLineHeight},
                   alignment_);
    }
}

namespace {

// The fields of a 32-bit version number, formatted with one of two patterns.
std::string formatVersion(uint32_t version, const char* withBuild, const char* withoutBuild) {
    const unsigned major = version >> 24, minor = (version >> 20) & 0xF, revision = (version >> 16) & 0xF,
                   build = version & 0xFFFF;
    char text[48];
    if (build != 0)
        std::snprintf(text, sizeof text, withBuild, major, minor, revision, build);
    else
        std::snprintf(text, sizeof text, withoutBuild, major, minor, revision);
    return text;
}

} // namespace

std::string versionText(uint32_t version, bool beta) {
    return formatVersion(version, "%01u.%01u.%01u.%01u", "%01u.%01u.%01u") + (beta ? " BETA" : "");
}

CCVersion::CCVersion(const CCRect& rect, int lineHeight, CCFont* font, uint32_t version,
                     const char* firstText, const char* secondText, bool beta)
    : CCPageObject(rect.left, rect.top, rect.right, rect.bottom), lineHeight_(lineHeight),
      version_(versionText(version, beta)), first_(orEmpty(firstText)), second_(orEmpty(secondText)) {
    setFont(font);
}

void CCVersion::draw(CCDrawContext* context) {
    if (!visible_ || !shown_)
        return;
    const std::string* lines[] = {&second_, &first_, &version_};
    for (int i = 0; i < 3; ++i) {
        const int top = rect_.top + i * lineHeight_;
        drawString(context, font_, lines[i]->c_str(), CCRect{rect_.left, top, rect_.right, top + 12},
                   ALIGN_LEFT);
    }
}

CCVersionSimple::CCVersionSimple(const CCRect& rect, CCFont* font, uint32_t version, bool beta)
    : CCPageObject(rect.left, rect.top, rect.right, rect.bottom), version_(versionText(version, beta)) {
    setFont(font);
}

void CCVersionSimple::draw(CCDrawContext* context) {
    if (visible_ && shown_)
        drawString(context, font_, version_.c_str(), rect_, ALIGN_LEFT);
}

CCVersionTextCtrl::CCVersionTextCtrl(int32_t tag, const CCRect& rect, int backgroundId,
                                     CCPageObject* listener, uint16_t viewBits)
    : CControl(tag, rect.left, rect.top, rect.right, rect.bottom, 0, 0, 0, listener, viewBits) {
    if (backgroundId)
        setBackgroundBitmap(backgroundId);
}

std::string CCVersionTextCtrl::format(uint32_t version) {
    return formatVersion(version, "%01u.%01u%01ubeta%02u", "%01u.%01u%01u");
}

void CCVersionTextCtrl::setHostVersion(uint32_t version) {
    hostVersionNumber.store(version);
}

uint32_t CCVersionTextCtrl::hostVersion() {
    return hostVersionNumber.load();
}

void CCVersionTextCtrl::drawContents(CCDrawContext* context) {
    if (background_)
        context->drawBitmap(background_, CCPoint{rect_.left, rect_.top}, CCPoint{0, 0});
    drawString(context, getFont(), format(hostVersion()).c_str(), rect_, alignment_);
}
