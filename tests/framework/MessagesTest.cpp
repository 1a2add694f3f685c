#include "CCMsg.h"

#include <gtest/gtest.h>

TEST(Messages, ConstructionFormsSetTheirFields) {
    const CCMsg plain;
    EXPECT_EQ(plain.code, 0);
    EXPECT_TRUE(plain.notify);
    const CCMsg changed(MSG_VALUE_CHANGED, 13, 1, 1.0f, nullptr);
    EXPECT_EQ(changed.first, 13);
    EXPECT_EQ(changed.second, 1);
    const CCMsg quiet(MSG_EDIT_DONE, 4, static_cast<void*>(nullptr));
    EXPECT_FALSE(quiet.notify);
    const CCMsg parameter(MSG_PARAMETER, 7, 0.5f, false);
    EXPECT_FLOAT_EQ(parameter.value, 0.5f);
    EXPECT_FALSE(parameter.notify);
    const CCMsg invalidate(MSG_INVALIDATE, static_cast<CCPageObject*>(nullptr), true);
    EXPECT_TRUE(invalidate.onlyThisObject);
    EXPECT_TRUE(isMouseCode(MSG_PRESS_PROBE));
    EXPECT_TRUE(isMouseCode(MSG_MOUSE_WHEEL));
    EXPECT_FALSE(isMouseCode(MSG_KEY_DOWN));
    EXPECT_FALSE(isMouseCode(MSG_TIMER));
}
