// The resources linked into every program of the Windows build, read back from this
// test's own .exe the way the program and Windows read them.
#include "ResourceIds.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace {

HINSTANCE self() {
    return GetModuleHandleA(nullptr);
}

std::string loadString(UINT id) {
    char text[100] = {};
    const int length = LoadStringA(self(), id, text, sizeof text);
    return std::string(text, size_t(length > 0 ? length : 0));
}

std::string resourceText(LPCSTR id, LPCSTR type) {
    HRSRC found = FindResourceA(self(), id, type);
    if (!found) return {};
    const char* data = static_cast<const char*>(LockResource(LoadResource(self(), found)));
    return data ? std::string(data, SizeofResource(self(), found)) : std::string();
}

SIZE iconSize(HICON icon) {
    ICONINFO info{};
    BITMAP colour{};
    if (GetIconInfo(icon, &info)) {
        GetObjectA(info.hbmColor, sizeof colour, &colour);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
    return SIZE{colour.bmWidth, colour.bmHeight};
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

std::string versionString(const std::vector<char>& info, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) ||
        length == 0)
        return {};
    return std::string(value, length - 1); // the length counts the terminating zero
}

} // namespace

TEST(Win32Resources, StringTableHoldsTheTitleAndTheClassName) {
    EXPECT_EQ(loadString(IDS_APP_TITLE), "Quorix Firmware");
    EXPECT_EQ(loadString(IDS_APP_CLASS), "QUORIXFIRMWARELOADER");
}

// Both ids carry the 16, 32 and 48 pixel images, so Windows never has to stretch one.
TEST(Win32Resources, IconsHoldEverySizeAndLoadAtTheSystemSizes) {
    for (int id : {IDI_APP, IDI_APP_SMALL}) {
        SCOPED_TRACE(id);
        HRSRC found = FindResourceA(self(), MAKEINTRESOURCEA(id), RT_GROUP_ICON);
        ASSERT_NE(found, nullptr);
        const auto* group = static_cast<const WORD*>(LockResource(LoadResource(self(), found)));
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group[1], 1); // icons
        ASSERT_EQ(group[2], 3);
        const auto* entries = reinterpret_cast<const GroupIconEntry*>(group + 3);
        ASSERT_GE(SizeofResource(self(), found), 6 + 3 * sizeof(GroupIconEntry));
        const int sizes[] = {16, 32, 48};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(entries[i].width, sizes[i]);
            EXPECT_EQ(entries[i].height, sizes[i]);
            EXPECT_EQ(entries[i].bitCount, 32);
            EXPECT_NE(FindResourceA(self(), MAKEINTRESOURCEA(entries[i].id), RT_ICON), nullptr);
        }
    }

    HICON large = LoadIconA(self(), MAKEINTRESOURCEA(IDI_APP));
    ASSERT_NE(large, nullptr);
    const SIZE largeSize = iconSize(large);
    EXPECT_EQ(largeSize.cx, GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(largeSize.cy, GetSystemMetrics(SM_CYICON));
    for (int size : {16, 32, 48}) {
        HICON small = static_cast<HICON>(
            LoadImageA(self(), MAKEINTRESOURCEA(IDI_APP_SMALL), IMAGE_ICON, size, size, 0));
        ASSERT_NE(small, nullptr) << size;
        EXPECT_EQ(iconSize(small).cx, size);
        EXPECT_EQ(iconSize(small).cy, size);
        DestroyIcon(small);
    }
}

TEST(Win32Resources, MenuHasHelpWithAbout) {
    HMENU menu = LoadMenuA(self(), MAKEINTRESOURCEA(IDR_APP_MENU));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 1);
    char text[64] = {};
    GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "&Help");
    HMENU help = GetSubMenu(menu, 0);
    ASSERT_NE(help, nullptr);
    ASSERT_EQ(GetMenuItemCount(help), 1);
    EXPECT_EQ(GetMenuItemID(help, 0), UINT(IDM_ABOUT));
    DestroyMenu(menu);
}

TEST(Win32Resources, AltQuestionMarkAndAltSlashSendAbout) {
    HACCEL table = LoadAcceleratorsA(self(), MAKEINTRESOURCEA(IDR_APP_ACCELERATORS));
    ASSERT_NE(table, nullptr);
    ACCEL entries[4] = {};
    ASSERT_EQ(CopyAcceleratorTableA(table, entries, 4), 2);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(entries[i].fVirt & ~0x80, FALT); // a character with Alt, not a virtual key
        EXPECT_EQ(entries[i].cmd, IDM_ABOUT);
    }
    EXPECT_EQ(entries[0].key, '?');
    EXPECT_EQ(entries[1].key, '/');
    DestroyAcceleratorTable(table);
}

TEST(Win32Resources, VersionInfoNamesTheProductAndItsVersion) {
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &unused);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010003u); // 1.3
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u); // .0.0
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010003u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));

    EXPECT_EQ(versionString(info, "FileVersion"), "1.3.0.0");
    EXPECT_EQ(versionString(info, "ProductVersion"), "1.3.0.0");
    EXPECT_EQ(versionString(info, "ProductName"), "Quorix Firmware Updater");
    EXPECT_EQ(versionString(info, "FileDescription"), "Quorix Firmware Updater");
    EXPECT_EQ(versionString(info, "CompanyName"), "Quorix");
}

// Windows reads the manifest before the program runs: a wrong one keeps it from
// starting at all, a missing element silently changes how it is scaled or elevated.
TEST(Win32Resources, ManifestAsksForCommonControls6PerMonitorDpiAndNoElevation) {
    const std::string manifest = resourceText(CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
    ASSERT_FALSE(manifest.empty());
    for (const char* part :
         {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
          "publicKeyToken=\"6595b64144ccf1df\"", "<requestedExecutionLevel level=\"asInvoker\"",
          ">true/pm</dpiAware>", ">PerMonitorV2, PerMonitor</dpiAwareness>",
          "name=\"Quorix.FirmwareUpdater\" version=\"1.3.0.0\""})
        EXPECT_NE(manifest.find(part), std::string::npos) << part;

    // And it is in effect: comctl32 comes from the side-by-side store (version 6; the
    // version 5 one is in the system folder).
    HMODULE controls = LoadLibraryA("comctl32.dll");
    ASSERT_NE(controls, nullptr);
    char controlsPath[MAX_PATH] = {};
    GetModuleFileNameA(controls, controlsPath, MAX_PATH);
    std::string lowered(controlsPath);
    for (char& c : lowered)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(lowered.find("\\winsxs\\amd64_microsoft.windows.common-controls_6595b64144ccf1df_6."),
              std::string::npos)
        << controlsPath;
    FreeLibrary(controls);
}
