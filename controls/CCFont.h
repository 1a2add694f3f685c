#pragma once

#include "CCDrawContext.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CCImageStrip;
class CCBitmapCache;

// The key of the font registry.
struct FontDescription {
    int32_t kind = 1;
    int32_t bold = 0;   // 1 selects the bold face
    uint8_t size = 10;  // pixel size
    uint8_t italic = 0;
    uint8_t unhinted = 0;
    uint8_t red = 255, green = 255, blue = 255, alpha = 255;
    uint16_t width = 100;  // horizontal scale, percent
    int16_t spacing = 0;   // extra advance, percent of each glyph's advance

    friend bool operator==(const FontDescription&, const FontDescription&) = default;
};

enum FontAlignment { ALIGN_LEFT = 0, ALIGN_RIGHT = 1, ALIGN_CENTRE = 2, ALIGN_CENTRE_ELLIPSIS = 3 };

// Text drawn from a TrueType face with FreeType, glyph by glyph into the draw
// context. Every FreeType call happens under the font lock.
class CCFont {
public:
    // fontData null: the built-in family (regular, italic, bold, bold italic).
    CCFont(const FontDescription& description, const uint8_t* fontData, size_t fontSize);
    virtual ~CCFont();
    CCFont(const CCFont&) = delete;
    CCFont& operator=(const CCFont&) = delete;

    virtual void drawText(CCDrawContext* context, const char* text, const CCRect& rect, int alignment);
    virtual void drawNumber(CCDrawContext* context, const char* text, const CCRect& rect, int alignment);
    int measure(int ignored, const char* text) { (void)ignored; return textWidth(text); }
    virtual int textWidth(const char* text);
    // Where drawText's pen stands, in pixels from the left, before each character of
    // left-aligned text and after the last (length + 1 values): the caret positions.
    std::vector<int> penPositions(const char* text);
    virtual int pointSize() const { return description_.size; }

    bool hasFace() const { return face_ != nullptr; }
    // The face's family and style names ("Liberation Sans", "Bold"); empty without a face.
    std::string faceFamily() const;
    std::string faceStyle() const;
    const FontDescription& description() const { return description_; }
    // The text as drawn with alignment 3 in a box this wide.
    std::string middleEllipsis(const std::string& text, int boxWidth);

protected:
    CCFont() = default;

private:
    struct Box {
        long left = 0, top = 0, right = 0, bottom = 0; // 26.6, y up
    };
    Box measureBox(const char* text);
    unsigned loadFlags() const;

    void* face_ = nullptr; // FT_Face
    FontDescription description_;
    long highestTop_ = 0;
    long lowestBottom_ = 0;
};

// Characters drawn as cells of a bitmap strip: character c is cell c - 32, and codes
// outside the strip draw its last cell.
class CCBitmapFont : public CCFont {
public:
    // Takes the strip from the cache by cell count; released again on destruction.
    CCBitmapFont(CCBitmapCache& cache, int bitmapId, int cellCount);
    ~CCBitmapFont() override;

    void drawText(CCDrawContext* context, const char* text, const CCRect& rect, int alignment) override;
    void drawNumber(CCDrawContext* context, const char* text, const CCRect& rect, int alignment) override;
    int textWidth(const char* text) override;
    int pointSize() const override;

private:
    void drawCell(CCDrawContext* context, unsigned char c, int x, int y);

    CCBitmapCache& cache_;
    CCImageStrip* strip_ = nullptr;
};

// The registry: one font per distinct description, owned until shutdown.
CCFont* findFont(const FontDescription& description, const uint8_t* fontData = nullptr,
                 size_t fontSize = 0);
CCFont* defaultFont();
// Draws with the font when there is one.
void drawString(CCDrawContext* context, CCFont* font, const char* text, const CCRect& rect,
                int alignment);

bool startFonts();
void stopFonts();
