#pragma once

#include "UpdateView.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Remembers everything the update logic asked of its view.
class RecordingView : public UpdateView {
public:
    void showLines(const std::vector<std::string>& lines) override {
        std::lock_guard<std::mutex> guard(lock);
        history.push_back(lines);
    }
    void appendLine(const std::string& line) override {
        std::vector<std::string> shown = lines();
        if (!shown.empty() && shown.back() == line)
            return;
        shown.push_back(line);
        showLines(shown);
    }
    void setProgressValue(int percent) override {
        if (beforeProgress)
            beforeProgress();
        std::lock_guard<std::mutex> guard(lock);
        progressValues.push_back(percent);
    }
    void setProgressEnabled(bool enabled) override { progressEnabled = enabled; }
    void setUpdateEnabled(bool enabled) override { updateEnabled = enabled; }
    void setCloseEnabled(bool enabled) override { closeEnabled = enabled; }
    void setOpenEnabled(bool enabled) override { openEnabled = enabled; }
    void requestClose() override {
        if (closeRequests++ == 0)
            linesAtFirstClose = lines();
    }
    bool beginChooseFile() override {
        ++dialogsOpened;
        return dialogAvailable;
    }

    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> guard(lock);
        return history.empty() ? std::vector<std::string>{} : history.back();
    }
    bool everShowed(const std::string& line) const {
        std::lock_guard<std::mutex> guard(lock);
        for (const auto& lines : history)
            for (const auto& shown : lines)
                if (shown == line)
                    return true;
        return false;
    }

    mutable std::mutex lock;
    std::vector<std::vector<std::string>> history;
    std::vector<int> progressValues;
    std::atomic<bool> progressEnabled{false}, updateEnabled{false}, closeEnabled{true},
        openEnabled{true};
    std::atomic<int> closeRequests{0};
    bool dialogAvailable = true;
    int dialogsOpened = 0;
    std::vector<std::string> linesAtFirstClose;
    std::function<void()> beforeProgress; // runs on the ticking thread
};
