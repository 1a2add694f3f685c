#include "CUpdatePresenter.h"

#include "UpdateTexts.h"
#include "UpdateView.h"

CUpdatePresenter::CUpdatePresenter(CUpdateWorker& worker, UpdateView& view)
    : worker_(worker), view_(view) {}

void CUpdatePresenter::showInitialTexts() {
    view_.showLines(worker_.commandLineTexts() ? updatetexts::commandLineStartLines()
                                               : updatetexts::startLines());
}

void CUpdatePresenter::prepareCommandLine(std::atomic<uint8_t>* exitResult) {
    worker_.prepareCommandLine(exitResult);
    view_.showLines(updatetexts::commandLineStartLines());
}

void CUpdatePresenter::refreshTexts(bool present) {
    if (worker_.commandLineTexts())
        return; // a command-line run shows only its own texts
    view_.setUpdateEnabled(present);
    const CFirmwareUpdater& updater = worker_.updater();
    const FirmwareHeader header = updater.header();
    if (present)
        view_.showLines(updatetexts::deviceLines(header.version(), header.deviceName(),
                                                 updater.hardwareVersion(),
                                                 updater.firmwareVersion()));
    else if (updater.fileLoaded())
        view_.showLines(updatetexts::waitingLines(header.version(), header.deviceName()));
    else
        showInitialTexts();
    if (!updater.fileLoaded() && !refusal_.empty())
        view_.appendLine(refusal_);
}

void CUpdatePresenter::onTick() {
    // Read before the display state: the worker marks the run done only after it set
    // SHOW_RESULT, so a run seen done here gets its result shown in this very tick.
    const bool closeAfterResult = worker_.commandLineMode() && worker_.commandLineDone();
    if (worker_.takeTextsDirty())
        refreshTexts(worker_.present());
    if (startInSteps_) {
        const CUpdateWorker::StartPhase phase = worker_.stepCommandLineStart(view_);
        startInSteps_ = phase != CUpdateWorker::StartPhase::Started &&
                        phase != CUpdateWorker::StartPhase::Failed;
    }

    int state = worker_.displayState();
    if (state == SHOW_STARTED) {
        view_.setProgressEnabled(true);
        view_.setUpdateEnabled(false);
        view_.setCloseEnabled(false);
        view_.setOpenEnabled(false);
        std::vector<std::string> lines = updatetexts::updatingLines(worker_.updater().deviceName());
        if (closeAfterRun_)
            lines.push_back(updatetexts::kClosingAfterUpdate);
        view_.showLines(lines);
        if (worker_.advanceDisplay(SHOW_STARTED, SHOW_PROGRESS))
            state = SHOW_PROGRESS;
        else
            state = worker_.displayState(); // the run already ended
    }
    if (state == SHOW_PROGRESS)
        view_.setProgressValue(worker_.progress());
    if (state == SHOW_RESULT) {
        worker_.resetProgress();
        view_.setProgressValue(0);
        view_.showLines(updatetexts::resultLines(worker_.result()));
        worker_.advanceDisplay(SHOW_RESULT, SHOW_DONE);
        state = SHOW_DONE;
        updatePressed_ = false;
        resultShown_ = true;
    }
    if (state == SHOW_DONE) {
        view_.setProgressEnabled(false);
        view_.setUpdateEnabled(worker_.present());
        view_.setCloseEnabled(true);
        view_.setOpenEnabled(true);
    }

    if ((closeAfterResult || closeAfterRun_) && state == SHOW_DONE)
        view_.requestClose();
}

bool CUpdatePresenter::buttonsLocked() const {
    return updatePressed_ || (worker_.commandLineTexts() && !resultShown_);
}

bool CUpdatePresenter::deferClose() {
    if (!worker_.runOrdered() && !updatePressed_)
        return false;
    closeAfterRun_ = true;
    view_.appendLine(updatetexts::kClosingAfterUpdate);
    return true;
}

bool CUpdatePresenter::onControl(int tag, int value) {
    if (value != 1 || buttonsLocked() || dialogOpen_)
        return true;
    if (tag == kTagUpdate) {
        updatePressed_ = true;
        worker_.orderUpdate();
    } else if (tag == kTagOpen) {
        worker_.setCommandLineMode(false);
        dialogOpen_ = view_.beginChooseFile();
    }
    return true;
}

LoadOutcome CUpdatePresenter::loadFile(const char* path) {
    const LoadOutcome outcome = worker_.loadFile(path);
    if (outcome == LoadOutcome::RefusedDuringUpdate)
        view_.appendLine(updatetexts::kDropRefused); // the running update keeps its lines
    if (outcome == LoadOutcome::Loaded)
        refusal_.clear();
    if (outcome == LoadOutcome::Failed) {
        refusal_ = updatetexts::signatureRefusal(worker_.updater().lastSignature());
        // The file in use before (if any) went with the failed load.
        if (!refusal_.empty() && !worker_.commandLineTexts() && !worker_.updater().fileLoaded()) {
            view_.setUpdateEnabled(false);
            showInitialTexts();
            view_.appendLine(refusal_);
        }
    }
    return outcome;
}

void CUpdatePresenter::fileChosen(const std::optional<std::string>& path) {
    if (!dialogOpen_)
        return; // no dialog of ours asked
    dialogOpen_ = false;
    if (path)
        loadFile(path->c_str());
}
