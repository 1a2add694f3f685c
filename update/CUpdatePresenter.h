#pragma once

#include "CUpdateWorker.h"
#include "CommandTags.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

class UpdateView;

// The update page's behaviour without its pixels: which lines it shows and when,
// which buttons are enabled, what its buttons do, and the 50 ms step through which
// it follows the worker. The page and the terminal program each give it a view.
// User-interface thread only.
class CUpdatePresenter {
public:
    static constexpr int kTickMs = 50;

    CUpdatePresenter(CUpdateWorker& worker, UpdateView& view);

    void showInitialTexts();
    void refreshTexts(bool present);
    void onTick();
    // A button reported a value change; always handled.
    bool onControl(int tag, int value);
    // A file dropped on the window (or given otherwise from outside). A refusal is
    // said under the lines shown.
    LoadOutcome loadFile(const char* path);
    // The answer of the open-file dialog (nothing: cancelled).
    void fileChosen(const std::optional<std::string>& path);
    // While the open-file dialog is open the page takes no input.
    bool dialogOpen() const { return dialogOpen_; }
    // The page's buttons do nothing from a press on Update until its result is
    // shown, and during a command-line run until its result is shown: a click
    // there must not keep the run from ending as its caller expects.
    bool buttonsLocked() const;
    // A close from outside the page. During a run it waits for the run's end (the
    // page says so, and asks to close once the result is shown): true then.
    bool deferClose();
    // Before a command-line run: its own start texts, and where its outcome goes.
    void prepareCommandLine(std::atomic<uint8_t>* exitResult);
    bool startCommandLineUpdate(const char* path, const char* identity) {
        return worker_.startCommandLineUpdate(path, identity, view_);
    }
    // The same in steps: each tick takes the start one step on, so the window keeps
    // answering through the device's 10 s and the failure's 2 s.
    void beginCommandLineUpdate(const char* path, const char* identity) {
        worker_.beginCommandLineUpdate(path, identity);
        startInSteps_ = true;
    }

private:
    CUpdateWorker& worker_;
    UpdateView& view_;
    bool updatePressed_ = false; // until the result is shown
    bool resultShown_ = false;
    bool closeAfterRun_ = false;
    bool dialogOpen_ = false;
    bool startInSteps_ = false;
    // Why the last file dropped or chosen was not loaded, kept under the start lines
    // until a file loads ("" for none).
    std::string refusal_;
};
