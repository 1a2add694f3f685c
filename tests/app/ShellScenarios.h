#pragma once

// The shell's scenarios, written once and run over every driver a test program
// instantiates them with: INSTANTIATE_TEST_SUITE_P(Name, ShellScenario,
// ::testing::Values(ShellDriverKind{...}), shellDriverName).
#include "../support/ShellDriver.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

struct ShellDriverKind {
    const char* name;
    // Null, with the reason, where this driver cannot run (no display).
    std::function<std::unique_ptr<ShellDriver>(std::string& whyNot)> open;
};

// How gtest names the driver in a failure.
inline void PrintTo(const ShellDriverKind& kind, std::ostream* out) {
    *out << kind.name;
}

class ShellScenario : public ::testing::TestWithParam<ShellDriverKind> {
protected:
    void SetUp() override {
        std::string whyNot;
        driver = GetParam().open(whyNot);
        if (!driver)
            GTEST_SKIP() << whyNot;
    }
    void TearDown() override { driver.reset(); }

    std::unique_ptr<ShellDriver> driver;
};

inline std::string shellDriverName(const ::testing::TestParamInfo<ShellDriverKind>& info) {
    return info.param.name;
}
