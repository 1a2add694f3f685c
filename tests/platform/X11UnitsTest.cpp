// The X11 backend's parts that need no display: dropped-file lists, the colour-key
// shape, key codes, the edit popup's line, the settings file, the dialog programs and
// the desktop portal's limits.
#include "../support/NoInstalledKeys.h"
#include "../support/TempDir.h"

#include "CFirmwareUpdater.h"
#include "Dialogs.h"
#include "EditLine.h"
#include "KeyTranslation.h"
#include "PortalFileChooser.h"
#include "ProgramRunner.h"
#include "SettingsFile.h"
#include "ShapeMask.h"
#include "UriList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <tuple>
#include <unistd.h>

namespace {

using Kind = SettingsStore::Kind;

// --- text/uri-list -----------------------------------------------------------

TEST(UriList, KeepsLocalFilesInOrder) {
    struct Case {
        const char* text;
        std::vector<std::string> paths;
    };
    const Case cases[] = {
        {"file:///tmp/a.qfu\r\nfile:///tmp/b.qfu\r\n", {"/tmp/a.qfu", "/tmp/b.qfu"}},
        {"file:///tmp/a.qfu\nfile:///tmp/b.qfu", {"/tmp/a.qfu", "/tmp/b.qfu"}}, // LF only, no final end
        {"# a comment\r\nfile:///x\r\n", {"/x"}},
        {"file://localhost/home/u/f.qfu\r\n", {"/home/u/f.qfu"}},
        {"FILE:///upper/scheme\r\n", {"/upper/scheme"}},
        {"file:///with%20space/na%C3%AFve.qfu", {"/with space/na\xC3\xAFve.qfu"}},
        {"file://otherhost/etc/passwd\r\nfile:///ok", {"/ok"}},      // remote hosts are not ours
        {"file://localhostile/x\r\n", {}},
        {"http://example.com/f.qfu\r\nsmb://s/f\r\n", {}},
        {"file:///bad%2", {}},                                       // cut-off escape
        {"file:///bad%zz", {}},
        {"file:///nul%00hidden", {}},                                // would cut the path short
        {"file:///q?x=1\r\nfile:///frag#x", {}},
        {"file://", {}},
        {"", {}},
        {"\r\n\r\n", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseUriList(c.text), c.paths) << c.text;
}

// --- the colour-key shape ----------------------------------------------------

// A top-down picture made into the bottom-up image present takes.
struct TestImage {
    int width, height;
    std::vector<uint8_t> bytes;
    TestImage(int w, int h, uint32_t rgb) : width(w), height(h), bytes(size_t(w) * size_t(h) * 4) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                set(x, y, rgb);
    }
    void set(int x, int y, uint32_t rgb) {
        uint8_t* p = &bytes[(size_t(height - 1 - y) * size_t(width) + size_t(x)) * 4];
        p[0] = uint8_t(rgb), p[1] = uint8_t(rgb >> 8), p[2] = uint8_t(rgb >> 16), p[3] = 0xFF;
    }
    PixelImage image() const { return PixelImage{bytes.data(), width, height, size_t(width) * 4}; }
};

constexpr uint32_t kKey = 0xFF00FF;

TEST(ShapeMask, HolesFollowTheKeyColourOnly) {
    TestImage picture(8, 6, 0x203040);
    picture.set(0, 0, kKey);
    picture.set(7, 5, kKey);
    picture.set(3, 3, 0xFF00FE); // near the key is not the key
    ShapeMask mask;
    mask.reset(8, 6);
    EXPECT_TRUE(mask.update(picture.image(), PixelRect{0, 0, 8, 6}, kKey));
    EXPECT_EQ(mask.holes[0], 1);
    EXPECT_EQ(mask.holes[5 * 8 + 7], 1);
    EXPECT_EQ(mask.holes[3 * 8 + 3], 0);
    EXPECT_FALSE(mask.update(picture.image(), PixelRect{0, 0, 8, 6}, kKey)) << "same pixels: no change";

    // Only the presented rectangle is looked at.
    picture.set(0, 0, 0x000000);
    picture.set(7, 5, 0x000000);
    EXPECT_TRUE(mask.update(picture.image(), PixelRect{6, 4, 8, 6}, kKey));
    EXPECT_EQ(mask.holes[0], 1);
    EXPECT_EQ(mask.holes[5 * 8 + 7], 0);
}

TEST(ShapeMask, RectanglesOutsideTheImageOrMaskAreClipped) {
    TestImage picture(4, 4, kKey);
    ShapeMask mask;
    mask.reset(6, 6); // a window larger than the image
    EXPECT_TRUE(mask.update(picture.image(), PixelRect{-5, -5, 100, 100}, kKey));
    EXPECT_EQ(mask.holes[3 * 6 + 3], 1);
    EXPECT_EQ(mask.holes[5 * 6 + 5], 0);
    EXPECT_FALSE(mask.update(PixelImage{}, PixelRect{0, 0, 4, 4}, kKey));
    EXPECT_FALSE(mask.update(picture.image(), PixelRect{3, 3, 1, 1}, kKey)); // inverted: empty
}

TEST(ShapeMask, SolidPartAsBandedRectangles) {
    // Rounded-corner page: two key pixels in each corner of the first and last row.
    TestImage picture(10, 5, 0x101010);
    for (int x : {0, 1, 8, 9}) {
        picture.set(x, 0, kKey);
        picture.set(x, 4, kKey);
    }
    picture.set(5, 2, kKey); // a hole in the middle splits its row
    ShapeMask mask;
    mask.reset(10, 5);
    mask.update(picture.image(), PixelRect{0, 0, 10, 5}, kKey);
    const std::vector<PixelRect> solid = mask.solidRectangles();
    auto same = [](const PixelRect& a, const PixelRect& b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    };
    const std::vector<PixelRect> expected = {
        {2, 0, 8, 1}, {0, 1, 10, 2}, {0, 2, 5, 3}, {6, 2, 10, 3}, {0, 3, 10, 4}, {2, 4, 8, 5},
    };
    ASSERT_EQ(solid.size(), expected.size());
    for (size_t i = 0; i < solid.size(); ++i)
        EXPECT_TRUE(same(solid[i], expected[i])) << i;

    // Equal rows share one band.
    TestImage plain(10, 5, 0x101010);
    mask.reset(10, 5);
    mask.update(plain.image(), PixelRect{0, 0, 10, 5}, kKey);
    const std::vector<PixelRect> whole = mask.solidRectangles();
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_TRUE(same(whole[0], PixelRect{0, 0, 10, 5}));
}

// --- key codes ---------------------------------------------------------------

TEST(KeyTranslation, KeysymsToVirtualKeys) {
    const std::pair<unsigned long, uint32_t> cases[] = {
        {0x61, 'A'},    {0x7A, 'Z'},    {0x41, 'A'},    {0x5A, 'Z'}, // a, z, A, Z
        {0x30, '0'},    {0x39, '9'},    {0xFFB0, '0'},  {0xFFB9, '9'}, // digits and keypad digits
        {0xFFE1, 16},   {0xFFE2, 16},   {0xFFE3, 17},   {0xFFE4, 17}, // shift, control
        {0xFF0D, 13},   {0xFF8D, 13},   {0xFF1B, 27},   {0xFF08, 8}, // return, keypad enter, escape, backspace
        {0xFF09, 9},    {0xFE20, 9},    {0x20, 32},     {0xFFFF, 46}, // tab, shift-tab, space, delete
        {0xFF51, 37},   {0xFF52, 38},   {0xFF53, 39},   {0xFF54, 40}, // arrows
        {0xFFBE, 112},  {0xFFC9, 123},                                // F1, F12
        {0xFFCA, 0},    {0x2F, 0},      {0xFFBA, 0},    {0x7B, 0},    // F13, slash, past KP_9, brace
        {0xFFE9, 0},    {0, 0},
    };
    for (const auto& [keysym, code] : cases)
        EXPECT_EQ(virtualKeyOfKeysym(keysym), code) << std::hex << keysym;
}

// --- the edit popup's line ---------------------------------------------------

TEST(EditLine, KeysEditTheTextCaretAndSelection) {
    using Move = EditLine::Move;
    // One step: a move (extended or not), an insertion, or an erase (-1 back, +1 forward).
    struct Step {
        std::optional<Move> move;
        bool extend = false;
        const char* typed = nullptr;
        int erase = 0;
        std::optional<size_t> to; // moveTo
    };
    auto move = [](Move where, bool extend = false) { return Step{where, extend, nullptr, 0, std::nullopt}; };
    auto type = [](const char* text) { return Step{std::nullopt, false, text, 0, std::nullopt}; };
    auto erase = [](int direction) { return Step{std::nullopt, false, nullptr, direction, std::nullopt}; };
    auto to = [](size_t position, bool extend = false) { return Step{std::nullopt, extend, nullptr, 0, position}; };
    struct Case {
        const char* name;
        std::string text;
        size_t limit;
        std::vector<Step> steps;
        std::string result;
        size_t selectionStart, selectionEnd, caret;
    };
    const Case cases[] = {
        {"opens all selected", "abc", 10, {}, "abc", 0, 3, 3},
        {"opens cut to the limit", "abcdef", 4, {}, "abcd", 0, 4, 4},
        {"typing replaces the selection", "abc", 10, {type("xy")}, "xy", 2, 2, 2},
        {"left collapses to the selection's start", "abc", 10, {move(Move::Left), type("<")}, "<abc", 1, 1, 1},
        {"right collapses to its end", "abc", 10, {move(Move::Right), type(">")}, "abc>", 4, 4, 4},
        {"home end and shift", "abcd", 10, {move(Move::Home), move(Move::Right), move(Move::End, true)}, "abcd",
         1, 4, 4},
        {"shift left from the end", "abcd", 10, {move(Move::End), move(Move::Left, true), move(Move::Left, true)},
         "abcd", 2, 4, 2},
        {"backspace and delete", "abcd", 10, {to(2), erase(-1), erase(+1)}, "ad", 1, 1, 1},
        {"erase takes the selection", "abcd", 10, {to(1), to(3, true), erase(+1)}, "ad", 1, 1, 1},
        {"nothing to erase at the edges", "ab", 10, {move(Move::Home), erase(-1), move(Move::End), erase(+1)}, "ab",
         2, 2, 2},
        {"the limit cuts typing", "ab", 4, {move(Move::End), type("cdef")}, "abcd", 4, 4, 4},
        {"a full line takes nothing more", "abcd", 4, {move(Move::Home), type("x")}, "abcd", 0, 0, 0},
        {"a selection makes room", "abcd", 4, {to(1), to(3, true), type("xyz")}, "axyd", 3, 3, 3},
        {"moves stop at the ends", "ab", 10, {move(Move::Home), move(Move::Left), to(99)}, "ab", 2, 2, 2},
        {"limit 0 means 1", "abc", 0, {}, "a", 0, 1, 1},
    };
    for (const Case& c : cases) {
        EditLine line(c.text, c.limit);
        for (const Step& step : c.steps) {
            if (step.move)
                line.move(*step.move, step.extend);
            else if (step.typed)
                line.insert(step.typed);
            else if (step.erase < 0)
                line.eraseBackward();
            else if (step.erase > 0)
                line.eraseForward();
            else if (step.to)
                line.moveTo(*step.to, step.extend);
        }
        EXPECT_EQ(line.text(), c.result) << c.name;
        EXPECT_EQ(std::tuple(line.selectionStart(), line.selectionEnd(), line.caret()),
                  std::tuple(c.selectionStart, c.selectionEnd, c.caret))
            << c.name;
    }
    EditLine full("abcd", 4);
    full.moveTo(4, false);
    EXPECT_FALSE(full.insert("x")) << "refused, nothing changed";
    EXPECT_FALSE(full.eraseForward());
}

TEST(EditLine, Utf8BecomesLatin1AndTheRestIsRefused) {
    const struct {
        std::string utf8, latin1;
        size_t refused;
    } cases[] = {
        {"plain\t\n", "plain\t\n", 0},
        {"\xC3\xA9t\xC3\xA9 \xC3\xBF\xC2\x80", "\xE9t\xE9 \xFF\x80", 0},
        {"\xE2\x82\xAC" "5 \xF0\x9F\x98\x80!", "5 !", 2},     // euro sign, an emoji
        {"\xC0\xA9\xC1\xBF", "", 2},                         // overlong forms of ASCII
        {"\xE0\x83\xA9", "", 1},                              // overlong form of U+00E9
        {"a\xC3", "a", 1},                                     // cut short
        {"\xC3(\x80z", "(z", 2},                              // a lead without its follower
        {"\xFF\xFEx", "x", 2},
        {std::string("n\0ul", 4), std::string("n\0ul", 4), 0}, // NUL is the caller's to drop
    };
    for (const auto& c : cases) {
        size_t refused = 99;
        EXPECT_EQ(latin1FromUtf8(c.utf8, &refused), c.latin1) << c.utf8;
        EXPECT_EQ(refused, c.refused) << c.utf8;
    }
}

// --- settings file -----------------------------------------------------------

TEST(SettingsFile, PathFromTheEnvironment) {
    EXPECT_EQ(SettingsFile::defaultPath("/x/cfg", "/home/u"), "/x/cfg/quorix/settings");
    EXPECT_EQ(SettingsFile::defaultPath(nullptr, "/home/u"), "/home/u/.config/quorix/settings");
    EXPECT_EQ(SettingsFile::defaultPath("", "/home/u"), "/home/u/.config/quorix/settings");
    EXPECT_EQ(SettingsFile::defaultPath("relative/cfg", "/home/u"), "/home/u/.config/quorix/settings");
    EXPECT_EQ(SettingsFile::defaultPath(nullptr, nullptr), "");
    EXPECT_EQ(SettingsFile::defaultPath(nullptr, "relative"), "");
}

TEST(SettingsFile, RoundTripThroughANewFolder) {
    TempDir dir;
    const std::string path = dir.file("cfg/quorix/settings");
    {
        SettingsFile settings(path);
        uint32_t value = 7;
        EXPECT_FALSE(settings.readDword("WindowX", value));
        EXPECT_EQ(value, 7u) << "untouched when missing";
        EXPECT_TRUE(settings.writeDword("WindowX", 0x0000ABCD));
        EXPECT_TRUE(settings.writeDword("Window_Y", 0xFFFFFFFF));
        EXPECT_TRUE(settings.writeDword("WindowX", 12)); // replaced, not repeated
        EXPECT_FALSE(settings.writeDword("bad=name", 1));
        EXPECT_FALSE(settings.writeDword(" padded", 1));
        EXPECT_FALSE(settings.writeDword("", 1));
        EXPECT_FALSE(settings.writeDword(std::string(65, 'a'), 1));
        EXPECT_FALSE(settings.writeDword("x=dword:0x00000000\nY", 1)) << "no line injection";
    }
    {
        // Texts and binaries of any bytes come back as they went in, one line each.
        SettingsFile settings(path);
        EXPECT_TRUE(settings.writeText("Meter mode", std::string("caf\xC3\xA9 \\x41\n\0end", 15)));
        EXPECT_TRUE(settings.writeBinary("Blob", std::string("\x00\xFF\x10", 3)));
        EXPECT_FALSE(settings.writeText("Big", std::string(4097, 'a')));
        EXPECT_TRUE(settings.writeText("Window_Y", "replaces the dword"));
    }
    {
        SettingsFile settings(path);
        Kind kind{};
        std::string bytes;
        ASSERT_TRUE(settings.readValue("Meter mode", kind, bytes, 256));
        EXPECT_EQ(kind, Kind::Text);
        EXPECT_EQ(bytes, std::string("caf\xC3\xA9 \\x41\n\0end", 15));
        ASSERT_TRUE(settings.readValue("Blob", kind, bytes, 2));
        EXPECT_EQ(kind, Kind::Binary);
        EXPECT_EQ(bytes, std::string("\x00\xFF", 2)) << "cut to the limit";
        ASSERT_TRUE(settings.readValue("WindowX", kind, bytes, 0));
        EXPECT_EQ(kind, Kind::Dword);
        uint32_t y = 0;
        EXPECT_FALSE(settings.readDword("Window_Y", y)) << "a text is no dword";
        EXPECT_TRUE(settings.writeDword("Window_Y", 0xFFFFFFFF));
        EXPECT_TRUE(settings.writeText("Meter mode", std::string("caf\xC3\xA9 \\x41\n\0end", 15)));
    }
    struct stat folder {};
    ASSERT_EQ(::stat(dir.file("cfg/quorix").c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    const std::vector<uint8_t> bytes = TempDir::read(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "quorix-settings 1\nBlob=binary:00ff10\nMeter mode=text:caf\\xC3\\xA9 \\\\x41\\x0A\\x00end\n"
              "WindowX=dword:0x0000000C\nWindow_Y=dword:0xFFFFFFFF\n");
    SettingsFile again(path);
    uint32_t x = 0, y = 0;
    EXPECT_TRUE(again.readDword("WindowX", x));
    EXPECT_TRUE(again.readDword("Window_Y", y));
    EXPECT_EQ(x, 12u);
    EXPECT_EQ(y, 0xFFFFFFFFu);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("cfg/quorix")), {}), 1)
        << "no temp file left behind";
}

TEST(SettingsFile, ForeignFilesGiveDefaultsDamagedLinesLoseOnlyThemselves) {
    const std::string good = "quorix-settings 1\nWindowX=dword:0x00000010\n";
    struct Case {
        std::string text;
        bool keepsWindowX;
    };
    const Case cases[] = {
        {"", false},
        {"quorix-settings 2\nWindowX=dword:0x00000010\n", false},
        {"QUORIX-SETTINGS 1\nWindowX=dword:0x00000010\n", false},
        {"quorix-settings 1\r\nWindowX=dword:0x00000010\r\n", false},
        {"quorix-settings 1\nWindowX=dword:0x0010\n", false},
        {"quorix-settings 1\nWindowX=dword:0x0000001G\n", false},
        {"quorix-settings 1\nWindowX=sz:hello\n", false},
        {good + std::string(300 * 1024, '#'), false},
        {std::string("\x7F" "ELF\x02\x01\x01\0\0\0", 10), false},
        // One bad line among good ones costs only itself; the first of twins wins.
        {good + "WindowX=dword:0x00000011\n", true},
        {good + "\n", true},
        {"quorix-settings 1\ngarbage\nWindowX=dword:0x00000010\nT=text:\\q\nB=binary:0\n", true},
        {good + "T=text:cut\xff\nB=binary:zz\nN=text:\\x4\n", true},
        // Longer than any store holds: refused as the registry refuses it.
        {good + "T=text:" + std::string(4097, 'a') + "\nB=binary:" + std::string(2 * 4097, 'a') + "\n", true},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const std::string path = dir.write("settings", std::vector<uint8_t>(c.text.begin(), c.text.end()));
        SettingsFile settings(path);
        uint32_t value = 0;
        Kind kind{};
        std::string bytes;
        EXPECT_EQ(settings.readDword("WindowX", value), c.keepsWindowX) << c.text.substr(0, 60);
        EXPECT_EQ(value, c.keepsWindowX ? 0x10u : 0u);
        EXPECT_FALSE(settings.readValue("T", kind, bytes, 100) || settings.readValue("B", kind, bytes, 100));
        // The next write replaces the file with a clean one, keeping what was good.
        EXPECT_TRUE(settings.writeDword("WindowY", 5));
        SettingsFile reread(path);
        EXPECT_EQ(reread.readDword("WindowX", value), c.keepsWindowX);
        EXPECT_TRUE(reread.readDword("WindowY", value));
    }
    const std::string path = dir.write("settings", std::vector<uint8_t>(good.begin(), good.end()));
    SettingsFile settings(path);
    uint32_t value = 0;
    EXPECT_TRUE(settings.readDword("WindowX", value));
    EXPECT_EQ(value, 0x10u);
    // A folder where the file should be is not read, nor written over.
    SettingsFile folder(dir.file(""));
    EXPECT_FALSE(folder.readDword("WindowX", value));
}

TEST(SettingsFile, AFifoInPlaceOfAFileNeverBlocks) {
    // Neither the settings nor a dropped "update file" may hang the window's thread.
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    SettingsFile settings(fifo);
    uint32_t value = 0;
    EXPECT_FALSE(settings.readDword("MainWindow_p", value));
    CFirmwareUpdater updater;
    EXPECT_FALSE(updater.loadFile(fifo.c_str()));
}

TEST(SettingsFile, FailedWriteKeepsTheOldFile) {
    TempDir dir;
    const std::string path = dir.file("settings");
    SettingsFile settings(path);
    ASSERT_TRUE(settings.writeDword("WindowX", 1));
    const std::vector<uint8_t> before = TempDir::read(path);

    // Files may not grow past a few bytes now: the temp file cannot be written.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit tiny = saved;
    tiny.rlim_cur = 8;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const bool written = settings.writeDword("WindowX", 2);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_DFL);

    EXPECT_FALSE(written);
    EXPECT_EQ(TempDir::read(path), before);
    uint32_t value = 0;
    EXPECT_TRUE(settings.readDword("WindowX", value));
    EXPECT_EQ(value, 1u) << "memory agrees with the file";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("")), {}), 1) << "temp removed";

    // A folder that cannot be made (a file is in the way), or no path at all: writes fail quietly.
    dir.write("blocker", {1});
    SettingsFile blocked(dir.file("blocker/quorix/settings"));
    EXPECT_FALSE(blocked.writeDword("WindowX", 1));
    SettingsFile nowhere("");
    EXPECT_FALSE(nowhere.writeDword("WindowX", 1));
    EXPECT_FALSE(nowhere.readDword("WindowX", value));
}

// --- dialog programs ---------------------------------------------------------

// A folder standing in for PATH, with stub programs that record their arguments
// (NUL-separated) and answer what the test put in place.
class DialogStubs : public ::testing::Test {
protected:
    void addStub(const std::string& name) {
        const std::string script = "#!/bin/sh\n"
                                   "d=$(dirname \"$0\")\n"
                                   "printf '%s\\0' \"$@\" > \"$d/" + name + ".argv\"\n"
                                   "cat \"$d/answer\" 2>/dev/null\n"
                                   "exit $(cat \"$d/status\" 2>/dev/null || echo 0)\n";
        const std::string path = dir.write(name, std::vector<uint8_t>(script.begin(), script.end()));
        ::chmod(path.c_str(), 0755);
    }
    void answer(const std::string& text, int status = 0) {
        dir.write("answer", std::vector<uint8_t>(text.begin(), text.end()));
        const std::string code = std::to_string(status);
        dir.write("status", std::vector<uint8_t>(code.begin(), code.end()));
    }
    std::vector<std::string> argv(const std::string& name) const {
        const std::vector<uint8_t> bytes = TempDir::read(dir.file(name + ".argv"));
        std::vector<std::string> arguments;
        std::string current;
        for (uint8_t b : bytes) {
            if (b == 0) {
                arguments.push_back(current);
                current.clear();
            } else {
                current += char(b);
            }
        }
        return arguments;
    }
    std::string searchPath() const { return "relative/bin:" + dir.file("") + ":/nonexistent"; }

    TempDir dir;
};

TEST_F(DialogStubs, ProgramLookupAndCapture) {
    addStub("zenity");
    EXPECT_EQ(findProgram("zenity", searchPath()), dir.file("zenity"));
    EXPECT_EQ(findProgram("kdialog", searchPath()), "");
    EXPECT_EQ(findProgram("../zenity", searchPath()), "") << "names only, no paths";
    dir.write("plain", {'x'}); // not executable
    EXPECT_EQ(findProgram("plain", searchPath()), "");

    answer("said; $(touch injected) `x` \"q\"\n", 3);
    const ProgramResult result = runProgram(dir.file("zenity"), {"a b", "$(touch injected)", ""});
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.output, "said; $(touch injected) `x` \"q\"\n");
    EXPECT_EQ(argv("zenity"), (std::vector<std::string>{"a b", "$(touch injected)", ""}));
    EXPECT_FALSE(std::filesystem::exists(dir.file("injected"))) << "no shell in between";

    answer(std::string(100 * 1024, 'x'));
    const ProgramResult flood = runProgram(dir.file("zenity"), {}, 64 * 1024);
    EXPECT_EQ(flood.output.size(), 64u * 1024u);
    EXPECT_TRUE(flood.truncated);
    EXPECT_EQ(flood.exitCode, 0) << "drained to the end, not left blocked";

    EXPECT_FALSE(runProgram(dir.file("missing"), {}).started);
}

TEST_F(DialogStubs, FileDialogWithEitherProgram) {
    FileDialogRequest request;
    request.title = "Open update file";
    request.filters = {{"qfu (*.qfu)", "*.qfu"}, {"All (*.*)", "*.qfu;*.bin"}};
    request.initialDirectory = "/home/u/fw";
    struct Case {
        const char* program;
        std::vector<std::string> arguments;
    };
    const Case cases[] = {
        {"zenity",
         {"--file-selection", "--title=Open update file", "--filename=/home/u/fw/",
          "--file-filter=qfu (*.qfu) | *.qfu", "--file-filter=All (*.*) | *.qfu *.bin"}},
        {"kdialog",
         {"--title", "Open update file", "--getopenfilename", "/home/u/fw/",
          "*.qfu|qfu (*.qfu)\n*.qfu *.bin|All (*.*)"}},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(dir.file("zenity")); // only this case's program is there
        addStub(c.program);
        Dialogs dialogs(searchPath());
        answer("/home/u/fw/new firmware.qfu\n");
        EXPECT_EQ(dialogs.openFile(request), std::optional<std::string>("/home/u/fw/new firmware.qfu"));
        EXPECT_EQ(argv(c.program), c.arguments) << c.program;
        answer("", 1);
        EXPECT_EQ(dialogs.openFile(request), std::nullopt) << "cancel";
        answer("relative.qfu\n");
        EXPECT_EQ(dialogs.openFile(request), std::nullopt) << "only absolute paths";
        answer("/a\n/b\n");
        EXPECT_EQ(dialogs.openFile(request), std::nullopt) << "one file, not two";
    }
}

TEST_F(DialogStubs, QuestionsMenusAndTheShell) {
    addStub("zenity");
    addStub("xdg-open");
    Dialogs dialogs(searchPath());
    answer("", 0);
    EXPECT_TRUE(dialogs.askYesNo("Quorix", "<b>Really</b> & now?"));
    EXPECT_EQ(argv("zenity"), (std::vector<std::string>{"--question", "--no-markup", "--title=Quorix",
                                                        "--text=<b>Really</b> & now?"}));
    answer("", 1);
    EXPECT_FALSE(dialogs.askYesNo("Quorix", "Really?"));

    std::vector<PopupItem> items(4);
    items[0] = PopupItem{101, "&Open file", false, false, {}};
    items[1].separator = true;
    items[2] = PopupItem{0, "View", false, false, {PopupItem{201, "Log", true, false, {}}}};
    items[3] = PopupItem{-5, "-danger && co", false, false, {}};
    const std::vector<Dialogs::MenuEntry> flat = Dialogs::flattenMenu(items);
    ASSERT_EQ(flat.size(), 3u);
    EXPECT_EQ(flat[0].text, "Open file");
    EXPECT_EQ(flat[1].text, "\u2713 View > Log");
    EXPECT_EQ(flat[2].text, "-danger & co");
    const std::pair<std::string, int> answers[] = {{"2\n", 201}, {"3|3\n", -5}, {"1", 101},
                                                   {"4\n", 0},   {"0\n", 0},    {"x\n", 0}, {"", 0}};
    for (const auto& [printed, id] : answers) {
        answer(printed);
        EXPECT_EQ(dialogs.popupMenu(items), id) << printed;
    }
    const std::vector<std::string> menu = argv("zenity");
    ASSERT_GE(menu.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(menu.end() - 6, menu.end()),
              (std::vector<std::string>{"1", "Open file", "2", "\u2713 View > Log", "3", " -danger & co"}));
    answer("1\n", 1);
    EXPECT_EQ(dialogs.popupMenu(items), 0) << "cancel";

    EXPECT_TRUE(dialogs.openUrl("https://example.com/a?b=c&d"));
    EXPECT_FALSE(dialogs.openUrl("--help")) << "never an option of the opener";
    EXPECT_FALSE(dialogs.openUrl(""));
    for (int i = 0; i < 200 && !std::filesystem::exists(dir.file("xdg-open.argv")); ++i)
        ::usleep(10000);
    EXPECT_EQ(argv("xdg-open"), (std::vector<std::string>{"https://example.com/a?b=c&d"}));
}

TEST_F(DialogStubs, AProgramBesideTheLoopKeepsItsOutputBoundedAndIsReapedOrKilled) {
    auto script = [&](const std::string& name, const std::string& body) {
        const std::string text = "#!/bin/sh\n" + body + "\n";
        const std::string path = dir.write(name, std::vector<uint8_t>(text.begin(), text.end()));
        ::chmod(path.c_str(), 0755);
        return path;
    };
    auto pollOutput = [](RunningProgram& program) {
        for (int turn = 0; turn < 1000 && program.outputFd() >= 0; ++turn) {
            pollfd output{program.outputFd(), POLLIN, 0};
            if (::poll(&output, 1, 2000) != 1) return false;
            program.readOutput();
        }
        return program.outputFd() < 0;
    };
    auto waitUntilFinished = [](RunningProgram& program) {
        for (int i = 0; i < 300 && !program.finished(); ++i)
            ::usleep(10000);
        return program.finished();
    };

    // A flood is cut at the limit and drained, so the program can finish.
    RunningProgram flood;
    ASSERT_TRUE(flood.start(script("flood", "head -c 200000 /dev/zero; exit 4"), {}, 64 * 1024));
    EXPECT_FALSE(flood.finished()) << "not before its output has ended";
    ASSERT_TRUE(pollOutput(flood));
    ASSERT_TRUE(waitUntilFinished(flood));
    EXPECT_EQ(flood.result().output.size(), 64u * 1024u);
    EXPECT_TRUE(flood.result().truncated);
    EXPECT_EQ(flood.result().exitCode, 4);
    EXPECT_EQ(flood.pid(), -1);

    // Output that ends before the program: its exit is collected later, never waited for.
    RunningProgram late;
    ASSERT_TRUE(late.start(script("late", "echo early; exec >&-; sleep 0.3; exit 3"), {}));
    ASSERT_TRUE(pollOutput(late));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(late.finished());
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(100));
    ASSERT_TRUE(waitUntilFinished(late));
    EXPECT_EQ(late.result().output, "early\n");
    EXPECT_EQ(late.result().exitCode, 3);

    // Dropped while running: killed and reaped, no zombie left.
    pid_t pid = -1;
    {
        RunningProgram hang;
        ASSERT_TRUE(hang.start(script("hang", "exec sleep 30"), {}));
        pid = hang.pid();
        ASSERT_GT(pid, 0);
    }
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);

    RunningProgram missing;
    EXPECT_FALSE(missing.start(dir.file("missing"), {}));
    EXPECT_EQ(missing.outputFd(), -1);
}

TEST_F(DialogStubs, NoDialogProgramSaysSoOnceAndAnswersNo) {
    Dialogs dialogs(searchPath());
    testing::internal::CaptureStderr();
    EXPECT_EQ(dialogs.openFile(FileDialogRequest{}), std::nullopt);
    EXPECT_FALSE(dialogs.askYesNo("a", "b"));
    EXPECT_EQ(dialogs.popupMenu({PopupItem{1, "x", false, false, {}}}), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "quorix-updater: no dialog program found: install zenity or kdialog\n");
}

// --- the desktop portal ------------------------------------------------------

// The session bus the case names, the caller's put back after it.
class SessionBusAt {
  public:
    explicit SessionBusAt(const std::string& socketPath) {
        if (const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS")) saved_ = saved;
        ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + socketPath).c_str(), 1);
    }
    ~SessionBusAt() {
        if (saved_)
            ::setenv("DBUS_SESSION_BUS_ADDRESS", saved_->c_str(), 1);
        else
            ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    SessionBusAt(const SessionBusAt&) = delete;
    SessionBusAt& operator=(const SessionBusAt&) = delete;

  private:
    std::optional<std::string> saved_;
};

// Open File asks first whether there is a portal: no bus, or one that never
// answers, is "no portal" within the limit, never a frozen window.
TEST(PortalFileChooser, NoBusOrASilentOneIsNoPortalWithinTheLimit) {
    using namespace std::chrono;
    TempDir dir;
    const FileDialogRequest request{"Open File", {{"qfu (*.qfu)", "*.qfu"}}, "qfu", "", ""};
    {
        SessionBusAt nowhere(dir.file("no-bus"));
        const auto start = steady_clock::now();
        EXPECT_FALSE(PortalFileChooser::available());
        EXPECT_EQ(PortalFileChooser::open("", request), nullptr);
        EXPECT_LT(steady_clock::now() - start, seconds(3)); // the bus library's own limit is 25 s
    }

    // A socket that takes the connection and never says a word.
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = dir.file("silent-bus");
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    {
        SessionBusAt silent(path);
        auto start = steady_clock::now();
        EXPECT_FALSE(PortalFileChooser::available(milliseconds(300)));
        auto took = steady_clock::now() - start;
        EXPECT_GE(took, milliseconds(250));
        EXPECT_LT(took, seconds(3));

        start = steady_clock::now();
        EXPECT_EQ(PortalFileChooser::open("x11:1", request, milliseconds(300)), nullptr);
        took = steady_clock::now() - start;
        EXPECT_GE(took, milliseconds(250));
        EXPECT_LT(took, seconds(3));
    }
    ::close(listener);
}

} // namespace
