// Test driver for the end-to-end runs of the Windows program under Wine: finds the
// program's window by its class, checks what the system knows of it, plays the
// user with window messages and compares what the window shows with a golden image.
// One command per run; exit 0 when it held, 1 when not, 2 for bad usage.
//
//   window-driver wait MS                 the main window exists within MS
//   window-driver gone MS                 no main window exists within MS
//   window-driver check WIDTH HEIGHT      size, layered style, colour key, drops accepted,
//                                         the editor's child window over the client area
//   window-driver position                prints "X Y" of the main window
//   window-driver metrics                 prints the maximised width and height
//   window-driver drop FILE...            WM_DROPFILES with an HDROP of the files
//   window-driver click X Y               a left click at window pixel (X, Y) of the child
//   window-driver type TEXT               types into the open edit popup and presses Enter
//   window-driver close                   WM_CLOSE, as the system menu's Close
//   window-driver minimise                minimises the main window (SC_MINIMIZE)
//   window-driver iconic MS               the main window is (still) minimised after MS
//   window-driver expect GOLDEN.png MS [OUT.png]   the window shows the golden within MS
//                                         (a window a whole multiple of its size is
//                                         compared block by block)
//   window-driver answers MS WITHIN_MS    until the main window closes (at most MS), it
//                                         answers every probe (SendMessageTimeout, every
//                                         25 ms) within WITHIN_MS; prints the count, the
//                                         time covered and the slowest answer
//   window-driver registry get NAME | set NAME VALUE | delete NAME
//                                         the program's settings key; get prints a dword
//                                         as a number, a binary value as hex bytes
//
// QUORIX_DRIVER_CLASS and QUORIX_DRIVER_KEY name another program's window class and
// settings key (the gallery's).
#include "PngImage.h"
#include "WideText.h"
#include "WindowCapture.h"

#include <windows.h>
#include <shlobj.h> // DROPFILES

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const kMainClass =
    std::getenv("QUORIX_DRIVER_CLASS") ? std::getenv("QUORIX_DRIVER_CLASS") : "Quorix-Firmware-Main-C7WK0-3HYR7";
constexpr const char* kEditorClass = "TVL-VST-001";
const char* const kSettingsKey =
    std::getenv("QUORIX_DRIVER_KEY") ? std::getenv("QUORIX_DRIVER_KEY") : "SOFTWARE\\Quorix\\Firmware Updater\\1.00";

using Clock = std::chrono::steady_clock;

HWND findMain() {
    return FindWindowA(kMainClass, nullptr);
}

HWND waitMain(int milliseconds) {
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (HWND window = findMain())
            return window;
        if (Clock::now() >= end)
            return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

HWND editorOf(HWND main) {
    return FindWindowExA(main, nullptr, kEditorClass, nullptr);
}

int fail(const char* format, const char* detail = "") {
    std::fprintf(stderr, "window-driver: ");
    std::fprintf(stderr, format, detail);
    std::fprintf(stderr, "\n");
    return 1;
}

int check(HWND main, int width, int height) {
    RECT rect{};
    GetWindowRect(main, &rect);
    if (rect.right - rect.left != width || rect.bottom - rect.top != height) {
        std::fprintf(stderr, "window-driver: the window is %ld x %ld\n", rect.right - rect.left,
                     rect.bottom - rect.top);
        return 1;
    }
    const LONG_PTR extended = GetWindowLongPtrA(main, GWL_EXSTYLE);
    if (!(extended & WS_EX_LAYERED) || !(extended & WS_EX_ACCEPTFILES))
        return fail("the window is not layered or takes no files");
    if (GetWindowLongPtrA(main, GWL_STYLE) & WS_CAPTION)
        return fail("the window has a border");
    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    if (!GetLayeredWindowAttributes(main, &key, &alpha, &flags) || !(flags & LWA_COLORKEY) ||
        key != RGB(255, 0, 255) || (flags & LWA_ALPHA))
        return fail("the colour key is not magenta alone");
    HWND editor = editorOf(main);
    if (!editor)
        return fail("no child window of class %s", kEditorClass);
    RECT client{}, child{};
    GetClientRect(main, &client);
    if (client.right != width || client.bottom != height)
        return fail("the window has a frame: its client area is smaller than the window");
    GetWindowRect(editor, &child);
    POINT origin{0, 0};
    ClientToScreen(main, &origin);
    if (child.left != origin.x || child.top != origin.y || child.right - child.left != client.right ||
        child.bottom - child.top != client.bottom)
        return fail("the child window does not cover the client area");
    return 0;
}

// The DROPFILES block lives in the program's own memory, as the shell's would: a
// handle from this process means nothing there.
int drop(HWND main, const std::vector<std::string>& files) {
    // Wide, as Explorer sends them.
    std::wstring list;
    for (const std::string& file : files) {
        list += wideFromUtf8(file);
        list.push_back(L'\0');
    }
    list.push_back(L'\0');
    std::vector<char> block(sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    std::memcpy(block.data() + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    auto* header = reinterpret_cast<DROPFILES*>(block.data());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    DWORD processId = 0;
    GetWindowThreadProcessId(main, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
    if (!process)
        return fail("cannot open the program's process");
    void* remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    SIZE_T written = 0;
    const bool copied = remote && WriteProcessMemory(process, remote, block.data(), block.size(), &written) &&
                        written == block.size();
    CloseHandle(process);
    if (!copied)
        return fail("cannot place the file list in the program");
    return PostMessageA(main, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0) ? 0 : fail("not posted");
}

int click(HWND main, int x, int y) {
    HWND editor = editorOf(main);
    if (!editor)
        return fail("no child window of class %s", kEditorClass);
    POINT screen{x, y};
    ClientToScreen(editor, &screen);
    SetCursorPos(screen.x, screen.y); // the program reads the screen position from the cursor
    const LPARAM at = MAKELPARAM(x, y);
    PostMessageA(editor, WM_MOUSEMOVE, 0, at);
    PostMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(editor, WM_LBUTTONUP, 0, at);
    return 0;
}

// The edit popup the program opened over a field: an "Edit" window owned by its main window.
HWND editPopupOf(HWND main) {
    struct Search {
        HWND main;
        HWND found;
    } search{main, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            char name[16] = {};
            GetClassNameA(window, name, sizeof name);
            if (lstrcmpiA(name, "Edit") == 0 && GetWindow(window, GW_OWNER) == s->main && IsWindowVisible(window)) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int typeText(HWND main, const std::string& text) {
    HWND edit = nullptr;
    const auto end = Clock::now() + std::chrono::seconds(5);
    while (!(edit = editPopupOf(main)) && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!edit)
        return fail("no edit popup");
    // All of the old text is selected: the first character replaces it.
    for (unsigned char c : text)
        SendMessageA(edit, WM_CHAR, c, 1);
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 1);
    return 0;
}

// The window's own pixels, top-down RGB: holes keep the key colour here.
bool capture(HWND main, png::Image& shot) {
    std::vector<uint8_t> bgrx;
    if (!captureClient(main, shot.width, shot.height, bgrx))
        return false;
    shot.rgb.resize(size_t(shot.width) * size_t(shot.height) * 3);
    for (size_t i = 0; i < size_t(shot.width) * size_t(shot.height); ++i) {
        shot.rgb[i * 3] = bgrx[i * 4 + 2];
        shot.rgb[i * 3 + 1] = bgrx[i * 4 + 1];
        shot.rgb[i * 3 + 2] = bgrx[i * 4];
    }
    return true;
}

// Pixels that differ from the golden; a shot a whole multiple of its size must show
// each golden pixel as a block of one colour. The golden's key-colour pixels are
// cut out by the system (the colour key that check reads back), and what a window
// DC gives there is not the window's: they are not compared.
size_t differences(const png::Image& shot, const png::Image& golden) {
    const int scale = golden.width > 0 ? shot.width / golden.width : 0;
    if (scale < 1 || shot.width != golden.width * scale || shot.height != golden.height * scale)
        return size_t(-1);
    size_t differing = 0;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            const uint8_t* seen = &shot.rgb[(size_t(y) * size_t(shot.width) + size_t(x)) * 3];
            const uint8_t* want = &golden.rgb[(size_t(y / scale) * size_t(golden.width) + size_t(x / scale)) * 3];
            if (want[0] == 255 && want[1] == 0 && want[2] == 255)
                continue;
            differing += std::memcmp(seen, want, 3) != 0;
        }
    return differing;
}

int expect(HWND main, const std::string& goldenPath, int milliseconds, const std::string& out) {
    png::Image golden;
    if (!png::read(goldenPath, golden))
        return fail("cannot read %s", goldenPath.c_str());
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        png::Image shot;
        const size_t differing = capture(main, shot) ? differences(shot, golden) : size_t(-1);
        if (differing == 0)
            return 0;
        if (Clock::now() >= end || !IsWindow(main)) {
            if (!out.empty() && shot.width > 0)
                png::write(out, shot);
            if (differing == size_t(-1))
                return fail("no picture of the golden's size for %s", goldenPath.c_str());
            std::fprintf(stderr, "window-driver: %zu pixels differ from %s\n", differing, goldenPath.c_str());
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

int registry(int argc, char** argv) {
    if (argc < 4)
        return 2;
    const std::string verb = argv[2];
    const char* name = argv[3];
    HKEY key = nullptr;
    if (verb == "get") {
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return 1;
        DWORD type = 0, size = 0;
        BYTE bytes[4096];
        size = sizeof bytes;
        const bool read = RegQueryValueExA(key, name, nullptr, &type, bytes, &size) == ERROR_SUCCESS;
        RegCloseKey(key);
        if (read && type == REG_DWORD && size == 4) {
            DWORD value = 0;
            std::memcpy(&value, bytes, 4);
            std::printf("%lu\n", static_cast<unsigned long>(value));
            return 0;
        }
        if (read && type == REG_BINARY) {
            for (DWORD i = 0; i < size; ++i)
                std::printf("%02x", bytes[i]);
            std::printf("\n");
            return 0;
        }
        return 1;
    }
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return 1;
    LONG result = ERROR_INVALID_PARAMETER;
    if (verb == "set" && argc >= 5) {
        const DWORD value = static_cast<DWORD>(std::strtoul(argv[4], nullptr, 0));
        result = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    } else if (verb == "delete") {
        result = RegDeleteValueA(key, name);
        if (result == ERROR_FILE_NOT_FOUND)
            result = ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? 0 : 1;
}

} // namespace

// A window whose thread is stuck in a long call is shown by the system as not
// responding: every probe must come back in time while the window lives.
int answers(int limitMs, int withinMs) {
    HWND main = findMain();
    if (!main)
        return fail("no main window");
    const auto start = Clock::now();
    const auto end = start + std::chrono::milliseconds(limitMs);
    int probes = 0;
    long slowest = 0;
    while (IsWindow(main)) {
        if (Clock::now() > end)
            return fail("the window did not close in time");
        const auto sent = Clock::now();
        DWORD_PTR result = 0;
        const bool answered = SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, UINT(withinMs), &result) != 0;
        const long took = long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count());
        if (!answered && IsWindow(main)) {
            // A window being destroyed is not hung, but Wine's DestroyWindow waits up to
            // 2 s for a window manager to withdraw it (Xvfb has none): a window gone
            // within 3 s of a probe it left unanswered was closing. The time printed
            // ends at that probe.
            const auto stuck = Clock::now();
            while (IsWindow(main) && Clock::now() - stuck < std::chrono::milliseconds(3000))
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (IsWindow(main)) {
                const std::string at = std::to_string(probes) + " probes answered, then none at " +
                                       std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(sent - start).count()) + " ms";
                return fail("the window did not answer: %s", at.c_str());
            }
            const long lasted = long(std::chrono::duration_cast<std::chrono::milliseconds>(sent - start).count());
            std::printf("%d probes over %ld ms, slowest %ld ms\n", probes, lasted, slowest);
            return 0;
        }
        ++probes;
        slowest = std::max(slowest, took);
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    const long lasted = long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    std::printf("%d probes over %ld ms, slowest %ld ms\n", probes, lasted, slowest);
    return 0;
}

// The arguments from FIRST on, from the wide command line: a file name in another
// language has no form in the code page's argv.
std::vector<std::string> argumentsInUtf8(int first) {
    std::vector<std::string> arguments;
    int count = 0;
    if (LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = first; i < count; ++i)
            arguments.push_back(utf8FromWide(words[i], wcslen(words[i])));
        LocalFree(words);
    }
    return arguments;
}

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const std::string command = argv[1];
    if (command == "registry")
        return registry(argc, argv);
    if (command == "metrics") {
        std::printf("%d %d\n", GetSystemMetrics(SM_CXMAXIMIZED), GetSystemMetrics(SM_CYMAXIMIZED));
        return 0;
    }
    if (command == "wait")
        return argc >= 3 && waitMain(std::atoi(argv[2])) ? 0 : 1;
    if (command == "gone") {
        const auto end = Clock::now() + std::chrono::milliseconds(argc >= 3 ? std::atoi(argv[2]) : 0);
        while (findMain() && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return findMain() ? 1 : 0;
    }
    HWND main = findMain();
    if (!main)
        return fail("no window of class %s", kMainClass);
    if (command == "check" && argc >= 4)
        return check(main, std::atoi(argv[2]), std::atoi(argv[3]));
    if (command == "position") {
        RECT rect{};
        GetWindowRect(main, &rect);
        std::printf("%ld %ld\n", rect.left, rect.top);
        return 0;
    }
    if (command == "answers" && argc >= 4)
        return answers(std::atoi(argv[2]), std::atoi(argv[3]));
    if (command == "drop" && argc >= 3)
        return drop(main, argumentsInUtf8(2));
    if (command == "click" && argc >= 4)
        return click(main, std::atoi(argv[2]), std::atoi(argv[3]));
    if (command == "type" && argc >= 3)
        return typeText(main, argv[2]);
    if (command == "close")
        return PostMessageA(main, WM_CLOSE, 0, 0) ? 0 : 1;
    if (command == "minimise")
        return PostMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0) ? 0 : 1;
    if (command == "iconic" && argc >= 3) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
        return IsIconic(main) ? 0 : 1;
    }
    if (command == "expect" && argc >= 4)
        return expect(main, argv[2], std::atoi(argv[3]), argc >= 5 ? argv[4] : "");
    return 2;
}
