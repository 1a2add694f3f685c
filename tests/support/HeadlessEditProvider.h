#pragma once

#include "CCEditCtrl.h"

#include <string>
#include <vector>

// An edit control without a window: records what was opened; a test (or script)
// answers with finish or cancel.
class HeadlessEditProvider : public EditControlProvider {
public:
    bool open(const EditRequest& request) override;
    // Commits the text it was opened with: nothing is typed here.
    void end(const EditRequest& request) override;
    // Answers the last opened edit; false when none is open.
    bool finish(const std::string& entered);
    bool cancel();

    std::vector<EditRequest> opened;
    bool refuse = false; // open() fails, as when no window can be made

private:
    bool pending_ = false;
};
