// The start-up policy both entry points call, with the headless platform standing
// in for a display.
#include "../support/NoInstalledKeys.h"
#include "../support/TempDir.h"

#include "CommandLine.h"
#include "HeadlessPlatform.h"
#include "ProgramStart.h"
#include "QfuPacker.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(ProgramStart, OneStartUpPolicyForEveryEntryPoint) {
    TempDir dir;
    qfu::PackOptions options;
    options.image = qfu::randomImage(2048, 1);
    const std::string file = dir.write("demo.qfu", qfu::pack(options));
    const std::vector<std::string> update = {"--simulate=latency=0", "-path:" + file, "-id:vid_1209&pid_0001"};
    auto with = [&](std::vector<std::string> args, const std::string& first) {
        args.insert(args.begin(), first);
        return args;
    };
    enum Display { None, Present, NoWindowBuild };
    struct Case {
        std::vector<std::string> args;
        Display display;
        int code;
        int windowingOpened;
        const char* output; // in what it printed; "" for nothing in particular
    } cases[] = {
        {{"--version"}, Present, 0, 0, "1.3.00"},
        {{"--help"}, Present, 0, 0, "usage:"},
        {{"--simulate=pid=xyz"}, Present, 2, 0, "pid=xyz"},
        {{"--simulate"}, None, 1, 1, "the window needs a display"},
        {update, None, 0, 1, "Update successful."},         // a caller's update needs no window
        {with(update, "--terminal"), Present, 0, 0, "Update successful."},
        {update, Present, 0, 1, ""},                         // in the window, which prints nothing
        {{"--simulate"}, NoWindowBuild, 1, 0, "are needed"}, // a build without a window
    };
    for (const Case& c : cases) {
        const std::string what = quoteArguments(c.args);
        int opened = 0;
        std::ostringstream out, err;
        ProgramHost host;
        host.args = c.args;
        host.commandLine = quoteArguments(c.args);
        host.out = &out;
        host.err = &err;
        if (c.display != NoWindowBuild)
            host.openWindowing = [&](std::string& error) -> std::unique_ptr<UiPlatform> {
                ++opened;
                if (c.display == None) {
                    error = "no display here";
                    return nullptr;
                }
                return std::make_unique<HeadlessPlatform>();
            };
        EXPECT_EQ(runProgram(host), c.code) << what;
        EXPECT_EQ(opened, c.windowingOpened) << what;
        const std::string printed = out.str() + err.str();
        EXPECT_NE(printed.find(c.output), std::string::npos) << what << ": " << printed;
        if (c.display == Present && c.windowingOpened) {
            EXPECT_EQ(printed.find("Update successful."), std::string::npos) << what;
        }
    }
}
