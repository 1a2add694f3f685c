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

int CCMultiLineTextCtrl::lineStep() const {
    const int count = static_cast<int>(lines_.size());
    // More lines than rows move closer together rather than leave the area.
    if (count > 0 && count * kLineHeight > rect_.height())
        return std::max(rect_.height() / count, 1);
    return kLineHeight;
}

void CCMultiLineTextCtrl::drawContents(CCDrawContext* context) {
    CCFont* font = getFont();
    const int step = lineStep();
    for (size_t i = 0; i < lines_.size(); ++i) {
        const int top = rect_.top + static_cast<int>(i) * step;
        if (top >= rect_.bottom)
            break; // the rest is clipped away anyway
        drawString(context, font, lines_[i].c_str(),
                   CCRect{rect_.left, top, rect_.right, top + kLineHeight}, alignment_);
    }
}

std::vector<std::string> wrapToWidth(CCFont* font, const std::string& text, int width) {
    std::vector<std::string> lines;
    std::string rest = text;
    auto fits = [&](const std::string& part) { return font->textWidth(part.c_str()) <= width; };
    while (font && width > 0 && !rest.empty() && !fits(rest)) {
        size_t cut = std::string::npos;
        for (size_t blank = rest.rfind(' '); blank != std::string::npos && blank > 0;
             blank = rest.rfind(' ', blank - 1))
            if (fits(rest.substr(0, blank))) {
                cut = blank;
                break;
            }
        size_t next = cut;
        bool wordTooWide = false;
        if (cut != std::string::npos) {
            const size_t wordEnd = rest.find(' ', cut + 1);
            wordTooWide = !fits(
                rest.substr(cut + 1, wordEnd == std::string::npos ? wordEnd : wordEnd - cut - 1));
        }
        if (cut == std::string::npos || wordTooWide) {
            // A word wider than a whole line fills this one and goes on in the next.
            cut = 1; // at least one character, or nothing would ever move on
            while (cut < rest.size() && fits(rest.substr(0, cut + 1)))
                ++cut;
            next = cut;
        }
        lines.push_back(rest.substr(0, cut));
        while (next < rest.size() && rest[next] == ' ')
            ++next;
        rest.erase(0, next);
    }
    if (!rest.empty() || lines.empty())
        lines.push_back(rest);
    return lines;
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
