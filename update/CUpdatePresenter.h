#pragma once

#include "CUpdateWorker.h"

#include <atomic>
#include <cstdint>
#include <string>

class UpdateView;

// The update page's behaviour without its pixels: which lines it shows and when,
// which buttons are enabled, what its buttons do, and the 50 ms step through which
// it follows the worker. The page and the terminal program each give it a view.
// User-interface thread only.
class CUpdatePresenter {
public:
    static constexpr int kTickMs = 50;
    static constexpr int kTagUpdate = 13;
    static constexpr int kTagOpen = 14;
    static constexpr int kTagClose = 15;

    CUpdatePresenter(CUpdateWorker& worker, UpdateView& view);

    void showInitialTexts();
    void refreshTexts(bool present);
    void onTick();
    // A button reported a value change; always handled.
    bool onControl(int tag, int value);
    // A file dropped on the window (or given otherwise from outside).
    LoadOutcome loadFile(const char* path) { return worker_.loadFile(path); }
    // Before a command-line run: its own start texts, and where its outcome goes.
    void prepareCommandLine(std::atomic<uint8_t>* exitResult);
    bool startCommandLineUpdate(const char* path, const char* identity) {
        return worker_.startCommandLineUpdate(path, identity, view_);
    }

private:
    CUpdateWorker& worker_;
    UpdateView& view_;
};
