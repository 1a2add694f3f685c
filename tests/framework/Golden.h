#pragma once

#include "CCBitmap.h"
#include "PngImage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

// Compares a rendered image with tests/golden/NAME.png exactly. On a mismatch the
// rendered image and a diff (differing pixels red, the rest dimmed) are written
// beside the test as NAME.actual.png and NAME.diff.png. With QUORIX_UPDATE_GOLDEN=1
// in the environment the golden file is rewritten instead. Without keyColour the
// golden's magenta pixels are not compared: a real window shows what lies behind
// them, which is not its own.
inline void expectGolden(const std::string& name, const CCBitmap& rendered, bool keyColour = true) {
    const std::string path = std::string(QUORIX_GOLDEN_DIR) + "/" + name + ".png";
    const png::Image actual = png::fromBitmap(rendered);
    // Only a picture with every pixel known may become the golden.
    if (const char* update = std::getenv("QUORIX_UPDATE_GOLDEN"); update && *update == '1' && keyColour) {
        ASSERT_TRUE(png::write(path, actual)) << path;
        return;
    }
    png::Image golden;
    ASSERT_TRUE(png::read(path, golden)) << "no golden image " << path
                                         << " (QUORIX_UPDATE_GOLDEN=1 writes it)";
    ASSERT_EQ(golden.width, actual.width) << name;
    ASSERT_EQ(golden.height, actual.height) << name;
    size_t differing = 0;
    png::Image diff = actual;
    for (size_t i = 0; i < actual.rgb.size(); i += 3) {
        const bool cutOut = golden.rgb[i] == 255 && golden.rgb[i + 1] == 0 && golden.rgb[i + 2] == 255;
        const bool same = (cutOut && !keyColour) || (actual.rgb[i] == golden.rgb[i] &&
                                                     actual.rgb[i + 1] == golden.rgb[i + 1] &&
                                                     actual.rgb[i + 2] == golden.rgb[i + 2]);
        differing += !same;
        for (int c = 0; c < 3; ++c)
            diff.rgb[i + size_t(c)] = same ? uint8_t(actual.rgb[i + size_t(c)] / 4) : uint8_t(c == 0 ? 255 : 0);
    }
    if (differing) {
        png::write(name + ".actual.png", actual);
        png::write(name + ".diff.png", diff);
    }
    EXPECT_EQ(differing, 0u) << name << ": pixels differ; see " << name << ".actual.png and "
                             << name << ".diff.png";
}
