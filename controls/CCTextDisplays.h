#pragma once

#include "CControl.h"

#include <string>
#include <vector>

class CCFont;

// A fixed label over an optional background.
class CCStaticTextCtrl : public CControl {
public:
    CCStaticTextCtrl(int32_t tag, const CCRect& rect, CCFont* font, int backgroundId,
                     CCPageObject* listener, uint16_t viewBits);

    // Null means empty.
    void setText(const char* text);
    const std::string& text() const { return text_; }
    char* getText(char* buffer, size_t length) override;
    void drawContents(CCDrawContext* context) override;

private:
    std::string text_;
};

// Lines of text, one band of lineHeight pixels each; no automatic breaking.
class CCMultiLineTextCtrl : public CControl {
public:
    static constexpr int kLineHeight = 16;

    CCMultiLineTextCtrl(int32_t tag, const CCRect& rect, int ignored, CCPageObject* listener,
                        uint16_t viewBits);

    // Replaces all lines by copies; none or count 0 leaves no lines.
    void setLines(const char* const* texts, int count);
    const std::vector<std::string>& lines() const { return lines_; }
    // 16 pixels from one line's top to the next, less when more lines than fit
    // the area at 16 are shown.
    int lineStep() const;
    void drawContents(CCDrawContext* context) override;

private:
    std::vector<std::string> lines_;
};

// The text split into lines no wider than width in the font: at the last blank
// that lets a line fit, or, for a word wider than the whole width, between
// characters. Without a font, or with room, the text is one line.
std::vector<std::string> wrapToWidth(CCFont* font, const std::string& text, int width);

// Version numbers are major 31..24, minor 23..20, revision 19..16, build 15..0.
// "1.2.0", or "1.2.3.5" when the build is not 0; beta appends " BETA".
std::string versionText(uint32_t version, bool beta);

// Three left-aligned lines: the second text, the first text, the version.
class CCVersion : public CCPageObject {
public:
    CCVersion(const CCRect& rect, int lineHeight, CCFont* font, uint32_t version, const char* firstText,
              const char* secondText, bool beta);
    void draw(CCDrawContext* context) override;

private:
    int lineHeight_;
    std::string version_, first_, second_;
};

// The version text alone, left-aligned.
class CCVersionSimple : public CCPageObject {
public:
    CCVersionSimple(const CCRect& rect, CCFont* font, uint32_t version, bool beta);
    void draw(CCDrawContext* context) override;

private:
    std::string version_;
};

// The host's version, formatted on every draw as "1.23" or "1.23beta05".
class CCVersionTextCtrl : public CControl {
public:
    CCVersionTextCtrl(int32_t tag, const CCRect& rect, int backgroundId, CCPageObject* listener,
                      uint16_t viewBits);
    void drawContents(CCDrawContext* context) override;

    static std::string format(uint32_t version);
    // The plug-in object sets its version here.
    static void setHostVersion(uint32_t version);
    static uint32_t hostVersion();
};
