#pragma once

// The whole window program in-process: the driver's platform stands in for the OS
// (or is the OS), the simulated device for the hardware, and the test plays the
// user through the driver.
#include "../framework/Golden.h"
#include "../support/ShellDriver.h"
#include "../support/TempDir.h"

#include "CBackPage.h"
#include "CCEditor.h"
#include "CMainWindow.h"
#include "Framework.h"
#include "QfuPacker.h"
#include "ShellDependencies.h"
#include "SimulatedHid.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

struct Shell {
    explicit Shell(ShellDriver& shellDriver, const std::string& deviceConfig = "") : driver(shellDriver) {
        previous = setUiPlatform(&driver.platform());
        startFramework();
        std::string error;
        EXPECT_TRUE(SimulatedDeviceConfig::parse(deviceConfig, config, error)) << error;
        hid = std::make_shared<SimulatedHidSystem>(config);
        dependencies = ShellDependencies{hid, nullptr, &fades, false};
    }
    ~Shell() {
        main.reset();
        setUiPlatform(previous);
    }

    void open() {
        main = std::make_unique<CMainWindow>(dependencies, &driver.settings());
        ASSERT_TRUE(main->create());
        mainWindow = main->window();
        editorWindow = main->editor() ? main->editor()->window() : nullptr;
        driver.opened(mainWindow, editorWindow);
    }
    // Kept after the close, for the checks of what went with it.
    PlatformWindow* window() const { return mainWindow; }
    CBackPage* page() const { return main->page(); }

    std::string makeFile(size_t blocks, FirmwareVersion version = {1, 1, 0}, std::string name = "") {
        qfu::PackOptions options;
        options.vendorId = config.vendorId;
        options.productId = config.productId;
        options.version = version;
        options.deviceName = "Quorix Demo Device";
        options.image = qfu::randomImage(blocks * config.blockSize, 7);
        if (name.empty())
            name = "update" + std::to_string(files++) + ".qfu";
        return dir.write(name, qfu::pack(options));
    }

    bool until(const std::function<bool()>& done, int limitMs = 15000) { return driver.until(done, limitMs); }
    // Runs every fade to its end: the pixels are final.
    bool settled() {
        fades.now += 100000;
        main->editor()->animator().runPass();
        return main->editor()->animator().entryCount() == 0;
    }
    bool showing(const std::string& line) const {
        for (const std::string& shown : page()->lines())
            if (shown == line)
                return true;
        return false;
    }

    void mouse(WindowEvent::Button button, int x, int y) { driver.mouse(editorWindow, button, x, y); }
    void click(int x, int y) {
        mouse(WindowEvent::Button::LeftDown, x, y);
        mouse(WindowEvent::Button::LeftUp, x, y);
    }
    void drop(const std::vector<std::string>& paths) { driver.drop(mainWindow, paths); }
    // What the window shows now, against the golden image.
    void expectScreen(const std::string& name) {
        driver.pump();
        CCBitmap shot;
        ASSERT_TRUE(driver.screen(mainWindow, shot)) << name;
        expectGolden(name, shot, driver.showsKeyColour());
    }

    struct ManualClock : FadeClock {
        uint32_t now = 1000;
        uint32_t nowMs() override { return now; }
    } fades;
    ShellDriver& driver;
    UiPlatform* previous = nullptr;
    SimulatedDeviceConfig config;
    std::shared_ptr<SimulatedHidSystem> hid;
    ShellDependencies dependencies;
    std::unique_ptr<CMainWindow> main;
    PlatformWindow* mainWindow = nullptr;
    PlatformWindow* editorWindow = nullptr;
    TempDir dir;
    int files = 0;
};
