#pragma once

#include "TextRenderer.h"

// The backends' text, drawn by the font registry's fonts exactly as a page draws
// left-aligned text.
class CCLineRenderer final : public TextRenderer {
public:
    RenderedLine renderLine(const std::string& latin1, int pixelHeight, int boxHeight) override;
};
