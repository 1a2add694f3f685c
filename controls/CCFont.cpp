#include "CCFont.h"

#include "CCBitmapCache.h"
#include "EmbeddedFonts.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// One lock for the registry and every FreeType call: the window thread and the fade
// animator may both draw text. Re-entrant, so drawing may measure inside it.
std::recursive_mutex& fontLock() {
    static std::recursive_mutex lock;
    return lock;
}

FT_Library library = nullptr;

// Keyed by the description and the face data: the same description asked for with
// another face must not get the first one's glyphs.
struct RegistryEntry {
    FontDescription description;
    const uint8_t* fontData;
    std::unique_ptr<CCFont> font;
};
std::vector<RegistryEntry>& registry() {
    static std::vector<RegistryEntry> entries;
    return entries;
}
// Fonts whose face did not load, one per description: without a face a font
// measures and draws nothing whatever its data was, so one serves every later
// failure. Not keyed by the data, so that valid data at that address loads later.
std::vector<std::unique_ptr<CCFont>>& unregistered() {
    static std::vector<std::unique_ptr<CCFont>> fonts;
    return fonts;
}

FT_Face asFace(void* face) {
    return static_cast<FT_Face>(face);
}

} // namespace

bool startFonts() {
    std::lock_guard<std::recursive_mutex> guard(fontLock());
    if (!library && FT_Init_FreeType(&library) != 0)
        library = nullptr;
    return library != nullptr;
}

void stopFonts() {
    std::lock_guard<std::recursive_mutex> guard(fontLock());
    registry().clear();
    unregistered().clear();
    if (library)
        FT_Done_FreeType(library);
    library = nullptr;
}

CCFont::CCFont(const FontDescription& description, const uint8_t* fontData, size_t fontSize)
    : description_(description) {
    std::lock_guard<std::recursive_mutex> guard(fontLock());
    if (!library && !startFonts())
        return;
    if (!fontData) {
        const FontRole role = description.bold == 1
                                  ? (description.italic ? FontRole::BoldItalic : FontRole::Bold)
                                  : (description.italic ? FontRole::Italic : FontRole::Regular);
        const FontData data = embeddedFont(role);
        fontData = data.data;
        fontSize = data.size;
    }
    FT_Face face = nullptr;
    if (!fontData || FT_New_Memory_Face(library, fontData, static_cast<FT_Long>(fontSize), 0, &face) != 0)
        return;
    face_ = face;
    const FT_F26Dot6 height = description.size * 64;
    FT_Set_Char_Size(face, height * description.width / 100, height, 72, 0);

    for (char c : {'l', 'y'}) {
        if (FT_Load_Glyph(face, FT_Get_Char_Index(face, static_cast<FT_ULong>(c)),
                          static_cast<FT_Int32>(loadFlags())) != 0)
            continue;
        FT_Glyph glyph;
        if (FT_Get_Glyph(face->glyph, &glyph) != 0)
            continue;
        FT_BBox box;
        FT_Glyph_Get_CBox(glyph, FT_GLYPH_BBOX_GRIDFIT, &box);
        highestTop_ = std::max<long>(highestTop_, box.yMax);
        lowestBottom_ = std::min<long>(lowestBottom_, box.yMin);
        FT_Done_Glyph(glyph);
    }
}

CCFont::~CCFont() {
    std::lock_guard<std::recursive_mutex> guard(fontLock());
    if (face_ && library)
        FT_Done_Face(asFace(face_));
}

std::string CCFont::faceFamily() const {
    return face_ && asFace(face_)->family_name ? asFace(face_)->family_name : "";
}

std::string CCFont::faceStyle() const {
    return face_ && asFace(face_)->style_name ? asFace(face_)->style_name : "";
}

unsigned CCFont::loadFlags() const {
    return description_.unhinted ? FT_LOAD_NO_HINTING : FT_LOAD_FORCE_AUTOHINT;
}

CCFont::Box CCFont::measureBox(const char* text) {
    std::lock_guard<std::recursive_mutex> guard(fontLock());
    Box box;
    if (!face_ || !text)
        return box;
    const FT_Face face = asFace(face_);
    const bool kerning = FT_HAS_KERNING(face);
    const FT_UInt kerningMode = description_.unhinted ? FT_KERNING_UNFITTED : FT_KERNING_DEFAULT;
    FT_Vector pen{0, 0};
    FT_UInt previous = 0;
    bool any = false;
    FT_BBox all{0, 0, 0, 0};
    for (const char* p = text; *p; ++p) {
        const FT_UInt index = FT_Get_Char_Index(face, static_cast<unsigned char>(*p));
        if (kerning && previous) {
            FT_Vector delta;
            if (FT_Get_Kerning(face, previous, index, kerningMode, &delta) == 0)
                pen.x += delta.x;
        }
        previous = index;
        if (FT_Load_Glyph(face, index, static_cast<FT_Int32>(loadFlags())) != 0)
            continue;
        FT_Glyph glyph;
        if (FT_Get_Glyph(face->glyph, &glyph) != 0)
            continue;
        FT_Glyph_Transform(glyph, nullptr, &pen);
        FT_BBox glyphBox;
        FT_Glyph_Get_CBox(glyph, FT_GLYPH_BBOX_GRIDFIT, &glyphBox);
        if (glyphBox.xMax > glyphBox.xMin && glyphBox.yMax > glyphBox.yMin) {
            if (!any) {
                all = glyphBox;
                any = true;
            } else {
                all.xMin = std::min(all.xMin, glyphBox.xMin);
                all.yMin = std::min(all.yMin, glyphBox.yMin);
                all.xMax = std::max(all.xMax, glyphBox.xMax);
                all.yMax = std::max(all.yMax, glyphBox.yMax);
            }
        }
        const FT_Pos advance = face->glyph->advance.x;
        pen.x += advance;
        if (description_.spacing)
            pen.x += description_.spacing * advance / 100;
        FT_Done_Glyph(glyph);
    }
    all.yMin = std::min<FT_Pos>(all.yMin, lowestBottom_);
    all.yMax = std::max<FT_Pos>(all.yMax, highestTop_);
    box.right = all.xMax - all.xMin;
    box.bottom = all.yMax - all.yMin;
    return box;
}

int CCFont::textWidth(const char* text) {
    const Box box = measureBox(text);
    return static_cast<int>((box.right >> 6) - (box.left >> 6));
}

std::vector<int> CCFont::penPositions(const char* text) {
    std::lock_guard<std::recursive_mutex> guard(fontLock());
    std::vector<int> positions{0};
    if (!text)
        return positions;
    const FT_Face face = asFace(face_);
    const bool kerning = face && FT_HAS_KERNING(face);
    const FT_UInt kerningMode = description_.unhinted ? FT_KERNING_UNFITTED : FT_KERNING_DEFAULT;
    FT_Pos pen = 0;
    FT_UInt previous = 0;
    for (const char* p = text; *p; ++p) {
        if (face) {
            const FT_UInt index = FT_Get_Char_Index(face, static_cast<unsigned char>(*p));
            if (kerning && previous) {
                FT_Vector delta;
                if (FT_Get_Kerning(face, previous, index, kerningMode, &delta) == 0)
                    pen += delta.x;
            }
            previous = index;
            if (FT_Load_Glyph(face, index, static_cast<FT_Int32>(loadFlags())) == 0) {
                const FT_Pos advance = face->glyph->advance.x;
                pen += advance;
                if (description_.spacing)
                    pen += description_.spacing * advance / 100;
            }
        }
        positions.push_back(static_cast<int>((pen + 32) >> 6));
    }
    return positions;
}

std::string CCFont::middleEllipsis(const std::string& text, int boxWidth) {
    std::lock_guard<std::recursive_mutex> guard(fontLock());
    std::string out;
    const size_t n = text.size();
    size_t next = 0;
    bool shortened = false;
    while (next < n) {
        if (!shortened && textWidth(out.c_str()) >= boxWidth / 2) {
            out += "...";
            const int headWidth = textWidth(out.c_str());
            size_t tailStart = n; // the empty tail
            for (size_t start = n; start-- > next;) {
                if (textWidth(text.c_str() + start) + headWidth >= boxWidth)
                    break;
                tailStart = start;
            }
            next = tailStart;
            shortened = true;
            continue;
        }
        out += text[next++];
        if (textWidth(out.c_str()) >= boxWidth)
            break;
    }
    return out;
}

void CCFont::drawText(CCDrawContext* context, const char* text, const CCRect& rect, int alignment) {
    std::lock_guard<std::recursive_mutex> guard(fontLock());
    if (!face_ || !context || !text || !*text)
        return;
    const FT_Face face = asFace(face_);
    std::string shown = text;
    Box box = measureBox(text);
    const long w = box.right, h = box.bottom;
    const long boxW = rect.width(), boxH = rect.height();
    const long a = (h + description_.size * 32 - boxH * 64) / 2;
    long b = 0;
    if (alignment == ALIGN_RIGHT) {
        b = boxW * 64 - w - 1;
    } else if (alignment == ALIGN_CENTRE) {
        b = (boxW * 64 - w) / 2;
    } else if (alignment == ALIGN_CENTRE_ELLIPSIS) {
        if (boxW < (w >> 6)) {
            shown = middleEllipsis(text, static_cast<int>(boxW));
            b = (boxW * 64 - measureBox(shown.c_str()).right) / 2;
        } else {
            b = (boxW * 64 - w) / 2;
        }
    }

    FT_Vector pen{b & ~63L, a & ~63L};
    const bool kerning = FT_HAS_KERNING(face);
    const FT_UInt kerningMode = description_.unhinted ? FT_KERNING_UNFITTED : FT_KERNING_DEFAULT;
    FT_UInt previous = 0;
    std::vector<uint8_t> coverage;
    for (unsigned char c : shown) {
        const FT_UInt index = FT_Get_Char_Index(face, c);
        if (kerning && previous) {
            FT_Vector delta;
            if (FT_Get_Kerning(face, previous, index, kerningMode, &delta) == 0)
                pen.x += delta.x;
        }
        previous = index;
        FT_Set_Transform(face, nullptr, &pen);
        if (FT_Load_Glyph(face, index, static_cast<FT_Int32>(loadFlags() | FT_LOAD_RENDER)) != 0)
            continue;
        const FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& map = slot->bitmap;
        CCBitmap glyph;
        if (map.pixel_mode == FT_PIXEL_MODE_GRAY && map.width > 0 && map.rows > 0 &&
            glyph.createBlank(static_cast<int>(map.width), static_cast<int>(map.rows))) {
            coverage.resize(static_cast<size_t>(map.width) * map.rows);
            for (unsigned row = 0; row < map.rows; ++row) {
                const unsigned char* from =
                    map.pitch >= 0 ? map.buffer + static_cast<size_t>(row) * static_cast<size_t>(map.pitch)
                                   : map.buffer + static_cast<size_t>(map.rows - 1 - row) * static_cast<size_t>(-map.pitch);
                std::copy(from, from + map.width, coverage.begin() + static_cast<long>(row * map.width));
            }
            glyph.fillFromAlphaMap(coverage.data(), description_.red, description_.green,
                                   description_.blue);
            const uint8_t saved = context->alpha();
            context->setAlpha(static_cast<uint8_t>(saved * description_.alpha / 255));
            context->drawBitmap(&glyph,
                                CCPoint{rect.left + slot->bitmap_left,
                                        rect.top + description_.size - slot->bitmap_top},
                                CCPoint{0, 0});
            context->setAlpha(saved);
        }
        pen.x += slot->advance.x;
        if (description_.spacing)
            pen.x += description_.spacing * slot->advance.x / 100;
        pen.y += slot->advance.y;
    }
    FT_Set_Transform(face, nullptr, nullptr);
}

void CCFont::drawNumber(CCDrawContext*, const char*, const CCRect&, int) {}

// ---- Bitmap font ----

CCBitmapFont::CCBitmapFont(CCBitmapCache& cache, int bitmapId, int cellCount)
    : cache_(cache), strip_(cache.getStripByCount(bitmapId, cellCount)) {}

CCBitmapFont::~CCBitmapFont() {
    cache_.release(strip_);
}

int CCBitmapFont::textWidth(const char* text) {
    if (!strip_ || !text)
        return 0;
    return static_cast<int>(std::char_traits<char>::length(text)) * strip_->frameWidth();
}

int CCBitmapFont::pointSize() const {
    return strip_ ? strip_->height() * 100 / 72 : 0;
}

void CCBitmapFont::drawCell(CCDrawContext* context, unsigned char c, int x, int y) {
    // Below the space the index wraps round to a large number: the last cell.
    context->drawFrame(strip_, CCPoint{x, y}, static_cast<uint16_t>(c - 32));
}

void CCBitmapFont::drawText(CCDrawContext* context, const char* text, const CCRect& rect,
                            int alignment) {
    if (!context || !strip_ || !text)
        return;
    const int cellWidth = strip_->frameWidth();
    const int limit = rect.right - 2;
    const int y = rect.top + (rect.bottom - rect.top - strip_->height() + 2) / 2;
    const int width = textWidth(text);
    int x = alignment == ALIGN_CENTRE  ? rect.left + (limit - rect.left - width) / 2
            : alignment == ALIGN_RIGHT ? limit - width
                                       : rect.left;
    for (const char* p = text; *p; ++p, x += cellWidth) {
        if (x + cellWidth > limit)
            break;
        drawCell(context, static_cast<unsigned char>(*p), x, y);
    }
}

void CCBitmapFont::drawNumber(CCDrawContext* context, const char* text, const CCRect& rect,
                              int alignment) {
    if (!context || !strip_ || !text)
        return;
    const int cellWidth = strip_->frameWidth();
    int x = rect.left;
    if (alignment == ALIGN_CENTRE) {
        x = rect.left + (rect.width() - textWidth(text)) / 2;
    } else if (alignment == ALIGN_RIGHT) {
        int trueWidth = 0;
        for (const char* p = text; *p; ++p)
            trueWidth += *p == '.' ? 3 : cellWidth;
        x = rect.right - trueWidth;
    }
    for (const char* p = text; *p; ++p) {
        drawCell(context, static_cast<unsigned char>(*p), x, rect.top);
        x += *p == '.' ? 3 : cellWidth;
    }
}

// ---- Registry ----

CCFont* findFont(const FontDescription& description, const uint8_t* fontData, size_t fontSize) {
    std::lock_guard<std::recursive_mutex> guard(fontLock());
    for (auto it = registry().rbegin(); it != registry().rend(); ++it)
        if (it->description == description && it->fontData == fontData)
            return it->font.get();
    auto font = std::make_unique<CCFont>(description, fontData, fontSize);
    CCFont* result = font.get();
    if (font->hasFace()) {
        registry().push_back(RegistryEntry{description, fontData, std::move(font)});
        return result;
    }
    for (const auto& failed : unregistered())
        if (failed->description() == description)
            return failed.get();
    unregistered().push_back(std::move(font));
    return result;
}

CCFont* defaultFont() {
    return findFont(FontDescription{});
}

void drawString(CCDrawContext* context, CCFont* font, const char* text, const CCRect& rect,
                int alignment) {
    if (font)
        font->drawText(context, text, rect, alignment);
}
