#pragma once

#include "CCPage.h"
#include "CUpdatePresenter.h"
#include "CUpdateWorker.h"
#include "ShellDependencies.h"
#include "UpdateView.h"

#include <atomic>
#include <memory>

class CCEditor;
class CCMultiLineTextCtrl;
class CCOnOffButton;
class CCSimpleProgress;
class CCStaticTextCtrl;

// The update page: the controls at their places, the update worker it owns, and
// the presenter that decides what they show (shared with the terminal program).
class CBackPage : public CCPage, public UpdateView {
public:
    static constexpr int kPageId = 101;

    CBackPage(const CCRect& rect, int bitmapId, CCEditor* editor, const ShellDependencies& dependencies);
    // Stops the worker (the device gets its close request) before the controls go.
    ~CBackPage() override;

    int handleMessage(CCMsg* msg) override;
    void onPageMoved() override;

    void showInitialTexts() { presenter_.showInitialTexts(); }
    void refreshTexts(bool present) { presenter_.refreshTexts(present); }
    bool onControl(CCMsg* msg);
    void onTick() { presenter_.onTick(); }
    void prepareCommandLine(std::atomic<uint8_t>* exitResult) { presenter_.prepareCommandLine(exitResult); }
    bool startCommandLineUpdate(const char* path, const char* identity) {
        return presenter_.startCommandLineUpdate(path, identity);
    }
    // The window's way: the page's tick carries the start on, the window answers.
    void beginCommandLineUpdate(const char* path, const char* identity) {
        presenter_.beginCommandLineUpdate(path, identity);
    }
    // A file from outside (dropped, or named on the command line): loaded as the
    // open-file button does, but refused while an update sends the image.
    LoadOutcome loadFile(const char* path) { return presenter_.loadFile(path); }
    // The open-file dialog's answer (nothing: cancelled).
    void fileChosen(const std::optional<std::string>& path) { presenter_.fileChosen(path); }
    // No input reaches the page while its file dialog is open.
    bool takesInput() const { return !presenter_.dialogOpen(); }
    bool buttonsLocked() const { return presenter_.buttonsLocked(); }
    // A close from outside: true when it waits for the running update to end.
    bool deferClose() { return presenter_.deferClose(); }

    CUpdateWorker& worker() { return worker_; }
    CCSimpleProgress* progressBar() const { return progress_; }
    CCOnOffButton* updateButton() const { return update_; }
    CCOnOffButton* openButton() const { return open_; }
    CCOnOffButton* closeButton() const { return close_; }
    CCMultiLineTextCtrl* messageArea() const { return message_; }
    CCStaticTextCtrl* versionLabel() const { return version_; }
    // The lines as given, before they were wrapped to the message area.
    const std::vector<std::string>& lines() const { return lines_; }

private:
    void buildControls();
    // The page's view of the presenter.
    void showLines(const std::vector<std::string>& lines) override;
    void appendLine(const std::string& line) override;
    void setProgressValue(int percent) override;
    void setProgressEnabled(bool enabled) override;
    void setUpdateEnabled(bool enabled) override;
    void setCloseEnabled(bool enabled) override;
    void setOpenEnabled(bool enabled) override;
    void requestClose() override;
    bool beginChooseFile() override;

    CCEditor* editor_;
    CCOnOffButton* update_ = nullptr;
    CCOnOffButton* close_ = nullptr;
    CCOnOffButton* open_ = nullptr;
    CCMultiLineTextCtrl* message_ = nullptr;
    CCSimpleProgress* progress_ = nullptr;
    CCStaticTextCtrl* version_ = nullptr;
    std::vector<std::string> lines_;
    CUpdateWorker worker_;
    CUpdatePresenter presenter_;
};
